#pragma once
// Whether a window system can be reached: an X display that opens, or a
// Wayland display named in the environment. A stale DISPLAY (an ssh session
// long gone) counts as none, so that unattended runs fall back to offscreen.
namespace tabulor::shell {

bool WindowSystemAvailable();

}  // namespace tabulor::shell
