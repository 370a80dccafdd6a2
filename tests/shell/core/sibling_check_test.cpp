#include "shell/sibling_check.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tabulor::shell {
namespace {

class FixedTitles : public WindowTitleSource {
 public:
  explicit FixedTitles(std::vector<std::string> titles) : titles_(std::move(titles)) {}
  std::vector<std::string> TopLevelTitles() override { return titles_; }

 private:
  std::vector<std::string> titles_;
};

TEST(SiblingCheck, OnlyAWholeTitleBlocksTheStart) {
  FixedTitles none({"Terminal", "ortalis - patient Durand", "Balantis 2000", "xQuenta", ""});
  EXPECT_FALSE(FindSiblingApplication(none));
  FixedTitles exact({"Terminal", "Cardelo"});
  EXPECT_EQ(FindSiblingApplication(exact), "Cardelo");
  FixedTitles other_case({"ORTALIS"});
  EXPECT_EQ(FindSiblingApplication(other_case), "ortalis");
}

TEST(SiblingCheck, TitlesAreLookedForInTheirOrder) {
  FixedTitles both({"Cardelo", "Balantis", "Quenta"});
  EXPECT_EQ(FindSiblingApplication(both), "Quenta");
  FixedTitles all({"Cardelo", "ortalis"});
  EXPECT_EQ(FindSiblingApplication(all), "ortalis");
}

TEST(SiblingCheck, WithoutADisplayNoWindowIsSeen) {
  const char* saved = std::getenv("DISPLAY");
  const std::string display = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_TRUE(SystemWindowTitles()->TopLevelTitles().empty());
  if (saved) setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
}  // namespace tabulor::shell
