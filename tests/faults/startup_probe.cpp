// Start-up time and resident memory of an X11 program: runs it, waits for its
// top-level window named TITLE to be mapped, waits a moment for it to settle,
// reads its resident memory, and ends it. Repeats and prints the medians.
//
//   DISPLAY=:9 sonavel_startup_probe ROUNDS TITLE PROGRAM [ARGS...]
//   -> "startup_ms 123.4 rss_kib 45678"
//
// Time runs from just before fork to the MapNotify of the window. The
// program inherits the environment.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kGiveUp = std::chrono::seconds(30);
constexpr auto kSettle = std::chrono::milliseconds(1000);

std::string WindowName(Display* display, Window window) {
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    name.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (name.empty()) {
    char* plain = nullptr;
    if (XFetchName(display, window, &plain) && plain != nullptr) {
      name = plain;
      XFree(plain);
    }
  }
  return name;
}

long ResidentKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

struct Round {
  double ms;
  long kib;
};

bool RunOnce(Display* display, const std::string& title, char** argv, Round& out) {
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, True);  // drop what came before
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setpgid(0, 0);
    execvp(argv[0], argv);
    _exit(127);
  }
  bool mapped = false;
  const int fd = ConnectionNumber(display);
  while (!mapped && Clock::now() - start < kGiveUp) {
    while (!mapped && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && WindowName(display, event.xmap.window) == title) {
        out.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        mapped = true;
      }
    }
    if (!mapped) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 5);
    }
    int status;
    if (!mapped && waitpid(pid, &status, WNOHANG) == pid) return false;
  }
  if (mapped) {
    std::this_thread::sleep_for(kSettle);
    out.kib = ResidentKib(pid);
  }
  kill(-pid, SIGTERM);
  int status;
  waitpid(pid, &status, 0);
  XSelectInput(display, DefaultRootWindow(display), NoEventMask);
  return mapped && out.kib > 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s ROUNDS TITLE PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const int rounds = std::max(1, std::atoi(argv[1]));
  const std::string title = argv[2];
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "startup_probe: no X display\n");
    return 1;
  }
  std::vector<double> ms, kib;
  for (int i = 0; i < rounds; ++i) {
    Round r{};
    if (!RunOnce(display, title, argv + 3, r)) {
      std::fprintf(stderr, "startup_probe: %s showed no window named %s\n", argv[3], title.c_str());
      return 1;
    }
    ms.push_back(r.ms);
    kib.push_back(static_cast<double>(r.kib));
  }
  XCloseDisplay(display);
  std::printf("startup_ms %.1f rss_kib %.0f\n", Median(ms), Median(kib));
  return 0;
}
