#include "shell/display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tabulor::shell {
namespace {

// Sets an environment variable for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (saved_) setenv(name_, saved_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(Display, NoneWithoutDisplayOrWithAStaleOne) {
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  {
    ScopedEnv x11("DISPLAY", nullptr);
    EXPECT_FALSE(WindowSystemAvailable());
  }
  ScopedEnv stale("DISPLAY", ":9876");
  EXPECT_FALSE(WindowSystemAvailable());
}

TEST(Display, AWaylandDisplayIsTakenAtItsWord) {
  ScopedEnv x11("DISPLAY", nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
  EXPECT_TRUE(WindowSystemAvailable());
}

}  // namespace
}  // namespace tabulor::shell
