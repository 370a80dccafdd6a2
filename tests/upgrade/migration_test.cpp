// Every layout the practice software has had, upgraded to 2.8 (see
// upgraded_check.h for what a correct result is), with the log labels in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database_snapshot.h"
#include "practice_db.h"
#include "upgraded_check.h"

namespace tabulor::upgrade::testing {
namespace {

struct Layout {
  int version;
  bool stray_users;
};

std::string Name(const ::testing::TestParamInfo<Layout>& info) {
  return "V" + std::to_string(info.param.version) + (info.param.stray_users ? "WithStrayUsersFiles" : "");
}

class MigrationTest : public ::testing::TestWithParam<Layout> {
 protected:
  static void SetUpTestSuite() {
    reference_ = new ScratchDir;
    Generate(reference_->path(), 280);
    reference_snapshot_ = new DatabaseSnapshot(TakeSnapshot(reference_->path() / "DATA"));
  }
  static void TearDownTestSuite() {
    delete reference_snapshot_;
    delete reference_;
  }

  static ScratchDir* reference_;
  static DatabaseSnapshot* reference_snapshot_;
  ScratchDir scratch_;
};

ScratchDir* MigrationTest::reference_ = nullptr;
DatabaseSnapshot* MigrationTest::reference_snapshot_ = nullptr;

TEST_P(MigrationTest, ReachesTheCurrentLayoutKeepingEveryRow) {
  const Layout layout = GetParam();
  Generate(scratch_.path(), layout.version, layout.stray_users);
  const DatabaseSnapshot before = TakeSnapshot(scratch_.path() / "DATA");
  {
    PracticeDb db(scratch_.path());
    ASSERT_EQ(db.RunUpgrade(), 1);
  }
  EXPECT_EQ(LoggedLabels(scratch_.path() / "UPGRADE.log"), ExpectedLabels(layout.version));
  EXPECT_THAT(UpgradedDatabaseProblems(scratch_.path() / "DATA", layout.version, before, *reference_snapshot_),
              ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryGeneratedVersion, MigrationTest,
                         ::testing::Values(Layout{0, false}, Layout{0, true}, Layout{100, false}, Layout{100, true},
                                           Layout{200, false}, Layout{210, false}, Layout{230, false},
                                           Layout{240, false}, Layout{250, false}),
                         Name);

}  // namespace
}  // namespace tabulor::upgrade::testing
