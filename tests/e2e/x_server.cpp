#include "tests/e2e/x_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace sonavel::e2e {
namespace {

bool AcceptsConnections(const std::string& number) {
  const std::string path = "/tmp/.X11-unix/X" + number;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

std::string RegexQuoted(const std::string& text) {
  std::string quoted;
  for (const char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) quoted += '\\';
    quoted += c;
  }
  return quoted;
}

CommandResult Checked(std::vector<std::string> argv, const Environment& env) {
  const std::string what = argv[0] + (argv.size() > 1 ? " " + argv[1] : "");
  CommandResult result = RunCommand(std::move(argv), env);
  if (result.status != 0) {
    throw std::runtime_error(what + " failed (" + std::to_string(result.status) +
                             "): " + result.err);
  }
  return result;
}

// The number after "LABEL:" in xwininfo's output.
int Field(const std::string& text, const std::string& label) {
  const auto at = text.find(label + ":");
  if (at == std::string::npos) throw std::runtime_error("xwininfo gave no " + label);
  return std::stoi(text.substr(at + label.size() + 1));
}

}  // namespace

XServer::XServer() {
  xvfb_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp", "-noreset"},
                Environment::Inherited());
  const auto number = xvfb_->WaitForLine(
      Process::kStdout,
      [](std::string_view line) {
        return !line.empty() && line.find_first_not_of("0123456789") == std::string_view::npos;
      },
      milliseconds(10000));
  if (!number) {
    throw std::runtime_error("Xvfb did not report its display: " + xvfb_->Output(Process::kStderr));
  }
  if (!WaitUntil([&] { return AcceptsConnections(*number); }, milliseconds(5000))) {
    throw std::runtime_error("Xvfb :" + *number + " accepts no connections");
  }
  display_ = ":" + *number;
}

void XServer::AddTo(Environment& env) const {
  env.Set("DISPLAY", display_);
  env.Unset("WAYLAND_DISPLAY");
  env.Unset("XAUTHORITY");
  env.Unset("SESSION_MANAGER");
}

std::optional<std::string> FindWindow(const Environment& env, const std::string& title,
                                      milliseconds timeout) {
  std::optional<std::string> found;
  WaitUntil(
      [&] {
        const CommandResult result = RunCommand(
            {"xdotool", "search", "--onlyvisible", "--name", "^" + RegexQuoted(title) + "$"}, env);
        std::istringstream lines(result.out);
        std::string line;
        while (std::getline(lines, line)) {
          if (!line.empty() && WindowTitle(env, line) == title) {
            found = line;
            return true;
          }
        }
        return false;
      },
      timeout, milliseconds(50));
  return found;
}

Geometry WindowGeometry(const Environment& env, const std::string& window) {
  const CommandResult result = Checked({"xwininfo", "-id", window}, env);
  Geometry geometry;
  geometry.x = Field(result.out, "Absolute upper-left X");
  geometry.y = Field(result.out, "Absolute upper-left Y");
  geometry.width = Field(result.out, "Width");
  geometry.height = Field(result.out, "Height");
  geometry.border = Field(result.out, "Border width");
  return geometry;
}

std::string WindowTitle(const Environment& env, const std::string& window) {
  CommandResult result = RunCommand({"xdotool", "getwindowname", window}, env);
  if (result.status != 0) return {};
  while (!result.out.empty() && result.out.back() == '\n') result.out.pop_back();
  return result.out;
}

bool WindowViewable(const Environment& env, const std::string& window) {
  const CommandResult result = RunCommand({"xwininfo", "-id", window}, env);
  return result.status == 0 && result.out.find("IsViewable") != std::string::npos;
}

void Click(const Environment& env, const std::string& window, int x, int y) {
  Checked({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y),
           "click", "1"},
          env);
}

void TypeText(const Environment& env, const std::string& text, int delay_ms) {
  Checked({"xdotool", "type", "--delay", std::to_string(delay_ms), "--", text}, env);
}

void PressKeys(const Environment& env, const std::string& keys) {
  Checked({"xdotool", "key", "--delay", "30", keys}, env);
}

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr OpenDisplay(const Environment& env) {
  DisplayPtr display(XOpenDisplay(env.Get("DISPLAY").c_str()));
  if (!display) throw std::runtime_error("cannot open display " + env.Get("DISPLAY"));
  return display;
}

std::optional<std::string> SelectedText(const Environment& env, milliseconds timeout) {
  const DisplayPtr display = OpenDisplay(env);
  Display* d = display.get();
  // A window of our own to receive the selection; it goes with the connection.
  const Window receiver = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  const Atom property = XInternAtom(d, "SONAVEL_E2E_SELECTION", False);
  XConvertSelection(d, XA_PRIMARY, XInternAtom(d, "UTF8_STRING", False), property, receiver,
                    CurrentTime);
  XFlush(d);
  std::optional<std::string> text;
  bool answered = false;
  WaitUntil(
      [&] {
        while (!answered && XPending(d) > 0) {
          XEvent event;
          XNextEvent(d, &event);
          if (event.type != SelectionNotify) continue;
          answered = true;
          if (event.xselection.property == None) break;
          Atom type;
          int format;
          unsigned long count, left;
          unsigned char* data = nullptr;
          if (XGetWindowProperty(d, receiver, property, 0, 1 << 20, True, AnyPropertyType, &type,
                                 &format, &count, &left, &data) == Success &&
              data != nullptr) {
            if (format == 8) text.emplace(reinterpret_cast<const char*>(data), count);
            XFree(data);
          }
        }
        return answered;
      },
      timeout, milliseconds(5));
  return text;
}

void CloseWindow(const Environment& env, const std::string& window) {
  const DisplayPtr display = OpenDisplay(env);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(window);
  event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  if (XSendEvent(display.get(), event.xclient.window, False, NoEventMask, &event) == 0) {
    throw std::runtime_error("XSendEvent failed");
  }
  XSync(display.get(), False);
}

void SaveScreen(const Environment& env, const std::string& png_path) {
  Checked({"import", "-window", "root", png_path}, env);
}

}  // namespace sonavel::e2e
