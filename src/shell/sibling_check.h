#pragma once
// The practice's other programs must not run while the database is changed.
// At start the program looks for an open top-level window whose title is
// exactly one of theirs. On X11 the window tree is asked (they may run under a
// Windows compatibility layer); where no window system can be asked (no
// display, Wayland without X) there is no check.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulor::shell {

inline constexpr std::array<std::string_view, 4> kSiblingTitles = {"ortalis", "Quenta", "Balantis", "Cardelo"};

class WindowTitleSource {
 public:
  virtual ~WindowTitleSource() = default;
  // Titles of the open top-level windows.
  virtual std::vector<std::string> TopLevelTitles() = 0;
};

// The X11 source when a display can be opened, else one that sees no window.
std::unique_ptr<WindowTitleSource> SystemWindowTitles();

// The first sibling title, in the order above, that a window bears as its whole
// title. Letter case does not matter, as in the Windows window search the
// practice's programs rely on (their windows read "Ortalis" as well as "ortalis").
std::optional<std::string> FindSiblingApplication(WindowTitleSource& source);

}  // namespace tabulor::shell
