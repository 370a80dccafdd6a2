#include "shell/display.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace tabulor::shell {

bool WindowSystemAvailable() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) return true;
  const char* x11 = std::getenv("DISPLAY");
  if (!x11 || !*x11) return false;
  Display* display = XOpenDisplay(x11);
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace tabulor::shell
