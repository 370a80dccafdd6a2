#include "shell/schema_version.h"

#include <gtest/gtest.h>

#include <vector>

namespace tabulor::shell {
namespace {

TEST(SchemaVersion, VersionsAreRoundedNotTruncated) {
  // 2.8f is 2.7999999523...: truncation would give 279.
  EXPECT_EQ(VersionTimes100(2.8f), 280);
  EXPECT_EQ(VersionTimes100(2.5f), 250);
  EXPECT_EQ(VersionTimes100(2.1f), 210);
  EXPECT_EQ(VersionTimes100(1.2f), 120);
  EXPECT_EQ(VersionTimes100(2.3f), 230);
  EXPECT_EQ(VersionTimes100(0.0f), 0);
}

TEST(SchemaVersion, TiesGoToTheEvenNeighbour) {
  // Exact binary fractions, so that × 100 is exactly halfway.
  EXPECT_EQ(VersionTimes100(0.125f), 12);
  EXPECT_EQ(VersionTimes100(0.375f), 38);
  EXPECT_EQ(VersionTimes100(-0.125f), -12);
}

TEST(SchemaVersion, TheLowestRowDecides) {
  EXPECT_EQ(LowestVersion(std::vector<float>{2.8f, 2.8f, 2.5f}), 250);
  EXPECT_EQ(LowestVersion(std::vector<float>{2.8f, 2.8f, 2.8f}), 280);
  EXPECT_EQ(LowestVersion(std::vector<float>{2.5f, 1.0f, 2.8f}), 100);
  EXPECT_EQ(LowestVersion(std::vector<float>{}), 0);
}

}  // namespace
}  // namespace tabulor::shell
