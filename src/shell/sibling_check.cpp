#include "shell/sibling_check.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>

#include "shell/file_names.h"

namespace tabulor::shell {
namespace {

class NoWindows : public WindowTitleSource {
 public:
  std::vector<std::string> TopLevelTitles() override { return {}; }
};

// Windows vanish while the tree is walked; their errors must not end the program.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class X11Windows : public WindowTitleSource {
 public:
  explicit X11Windows(Display* display) : display_(display) {}
  ~X11Windows() override { XCloseDisplay(display_); }

  std::vector<std::string> TopLevelTitles() override {
    const auto previous = XSetErrorHandler(IgnoreXError);
    std::vector<std::string> titles;
    net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
    utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
    for (int s = 0; s < ScreenCount(display_); ++s) Walk(RootWindow(display_, s), 0, titles);
    XSync(display_, False);
    XSetErrorHandler(previous);
    return titles;
  }

 private:
  // Client windows sit below the window manager's frames, a level or two down.
  static constexpr int kMaxDepth = 3;

  void Walk(Window window, int depth, std::vector<std::string>& titles) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) {
      AddTitles(children[i], titles);
      if (depth + 1 < kMaxDepth) Walk(children[i], depth + 1, titles);
    }
    if (children) XFree(children);
  }

  void AddTitles(Window window, std::vector<std::string>& titles) {
    char* name = nullptr;
    if (XFetchName(display_, window, &name) && name) {
      titles.emplace_back(name);
      XFree(name);
    }
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, net_wm_name_, 0, 1024, False, utf8_string_, &type, &format, &items,
                           &remaining, &data) == Success &&
        data) {
      if (type == utf8_string_ && format == 8) titles.emplace_back(reinterpret_cast<char*>(data), items);
      XFree(data);
    }
  }

  Display* display_;
  Atom net_wm_name_ = 0;
  Atom utf8_string_ = 0;
};

}  // namespace

std::unique_ptr<WindowTitleSource> SystemWindowTitles() {
  const char* display_name = std::getenv("DISPLAY");
  if (!display_name || !*display_name) return std::make_unique<NoWindows>();
  Display* display = XOpenDisplay(display_name);
  if (!display) return std::make_unique<NoWindows>();
  return std::make_unique<X11Windows>(display);
}

std::optional<std::string> FindSiblingApplication(WindowTitleSource& source) {
  const std::vector<std::string> titles = source.TopLevelTitles();
  for (std::string_view sibling : kSiblingTitles)
    if (std::any_of(titles.begin(), titles.end(), [sibling](const std::string& t) { return EqualsNoCase(t, sibling); }))
      return std::string(sibling);
  return std::nullopt;
}

}  // namespace tabulor::shell
