// Takes the picture of the window that the README shows: the built tool under
// a private X server (no window manager, so no frame), as it opens.
//
//   sonavel_e2e_screenshot docs/screenshot.png
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "tests/e2e/tool_session.h"
#include "tests/e2e/x_server.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  try {
    sonavel::e2e::ToolSession session(std::nullopt);
    session.StartTool();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // painted
    const auto shot = sonavel::e2e::RunCommand({"import", "-window", session.window(), argv[1]},
                                               session.environment());
    if (shot.status != 0) {
      std::fprintf(stderr, "import failed: %s\n", shot.err.c_str());
      return 1;
    }
    session.CloseTool();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
