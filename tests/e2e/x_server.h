// A private X server for one test, and a person's hands on its windows.
//
// `XServer` starts Xvfb on a display number that no other server uses
// (Xvfb picks it itself and reports it once it accepts connections), with one
// 1024x768 screen of 24-bit colour, no TCP listener and no reset when the last
// client leaves; the destructor stops it. There is no window manager, so a
// window has no frame and gets the keyboard only while the pointer is on it:
// click into a control before typing.
//
//   XServer x;
//   Environment env = Environment::Inherited();
//   x.AddTo(env);                                  // DISPLAY=:N
//   auto window = FindWindow(env, "SonavelV1.0", 10s);  // the X window id, or nullopt
//   Geometry g = WindowGeometry(env, *window);     // {x, y, width, height} on the screen
//   Click(env, *window, 20, 50);                   // relative to the window's top-left corner
//   TypeText(env, "你好");                          // UTF-8, typed key by key
//   PressKeys(env, "ctrl+a");
#pragma once

#include <optional>
#include <string>

#include "tests/e2e/process.h"

namespace sonavel::e2e {

class XServer {
 public:
  // Throws std::runtime_error when Xvfb does not come up within a few seconds.
  XServer();
  ~XServer() = default;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }  // ":N"
  int width() const { return 1024; }
  int height() const { return 768; }
  // Points `env` at this server and away from any other display.
  void AddTo(Environment& env) const;

 private:
  std::optional<Process> xvfb_;
  std::string display_;
};

struct Geometry {
  int x = 0;  // the window's outer top-left corner on the screen
  int y = 0;
  int width = 0;  // the window's own size, its border excluded
  int height = 0;
  int border = 0;  // the X border width
};

// The first viewable top-level window whose title is exactly `title`
// (an X window id such as "4194311"), waiting up to `timeout`.
std::optional<std::string> FindWindow(const Environment& env, const std::string& title,
                                      milliseconds timeout);
// The window's position and size, from xwininfo; throws when it cannot be read.
Geometry WindowGeometry(const Environment& env, const std::string& window);
// The window's title ("" when it has none).
std::string WindowTitle(const Environment& env, const std::string& window);
// Whether the window still exists and is viewable.
bool WindowViewable(const Environment& env, const std::string& window);

// Moves the pointer to (x, y) relative to the window's top-left corner and
// presses and releases the left button. Throws when xdotool fails.
void Click(const Environment& env, const std::string& window, int x, int y);
// Types UTF-8 text into the window that has the keyboard, one key every
// `delay_ms` milliseconds.
void TypeText(const Environment& env, const std::string& text, int delay_ms = 30);
// Presses a key combination such as "ctrl+a" or "BackSpace".
void PressKeys(const Environment& env, const std::string& keys);
// The text of the PRIMARY selection (what is selected in any window, as
// UTF-8), or nullopt when nothing is selected or no answer comes in time.
std::optional<std::string> SelectedText(const Environment& env, milliseconds timeout);
// Asks the window to close, as its close button would (WM_DELETE_WINDOW).
void CloseWindow(const Environment& env, const std::string& window);
// Saves the whole screen as a PNG file (ImageMagick's import).
void SaveScreen(const Environment& env, const std::string& png_path);

}  // namespace sonavel::e2e
