// A run from version 0 stopped at one change to the disk after another —
// killed there, or with that write failing as on a full disk — and then run
// again to its end always gives a correct 2.8 database with nothing lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "database_snapshot.h"
#include "fault_env.h"
#include "practice_db.h"
#include "upgraded_check.h"

namespace tabulor::upgrade::testing {
namespace {


class FaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared_ = new Shared;
    Generate(shared_->original.path(), 0, /*stray_users=*/true, /*patients=*/4);
    shared_->before = TakeSnapshot(shared_->original.path() / "DATA");
    Generate(shared_->reference.path(), 280, false, 4);
    shared_->reference_snapshot = TakeSnapshot(shared_->reference.path() / "DATA");
    // How many changes a whole run makes.
    fs::path copy = CopyOriginal(shared_->reference.path() / "count");
    auto counter = std::make_shared<FaultEnv>(FaultEnv::Mode::kCount, 0);
    {
      PracticeDb db(copy, counter);
      if (db.RunUpgrade() != 1) throw std::runtime_error("the counting run did not complete");
    }
    shared_->changes = counter->changes();
    std::printf("a run from version 0 makes %d changes to the disk\n", shared_->changes);
    fs::remove_all(copy);
  }
  static void TearDownTestSuite() { delete shared_; }

  static fs::path CopyOriginal(const fs::path& to) {
    fs::remove_all(to);
    fs::copy(shared_->original.path(), to, fs::copy_options::recursive);
    return to;
  }

  // Every `stride`th change from the first, and the last one.
  static std::vector<int> FaultPoints(int stride) {
    std::vector<int> points;
    for (int at = 1; at < shared_->changes; at += stride) points.push_back(at);
    points.push_back(shared_->changes);
    return points;
  }

  void ExpectCompleteAfterRerun(const fs::path& root, int fault_at) {
    PracticeDb db(root, std::make_shared<FaultEnv>(FaultEnv::Mode::kCount, 0));
    ASSERT_EQ(db.RunUpgrade(), 1) << "fault at change " << fault_at;
    EXPECT_THAT(UpgradedDatabaseProblems(root / "DATA", 0, shared_->before, shared_->reference_snapshot),
                ::testing::IsEmpty())
        << "fault at change " << fault_at << " of " << shared_->changes;
  }

  struct Shared {
    ScratchDir original, reference;  // the reference's directory also holds the counting run's copy
    DatabaseSnapshot before, reference_snapshot;
    int changes = 0;
  };
  static Shared* shared_;
  ScratchDir scratch_;
};

FaultTest::Shared* FaultTest::shared_ = nullptr;

TEST_F(FaultTest, KilledAtAnyChangeThenRunAgain) {
  const std::vector<int> points = FaultPoints(1);
  int killed = 0;
  for (int fault_at : points) {
    const fs::path root = CopyOriginal(scratch_.path() / std::to_string(fault_at));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int status = 1;
      try {
        PracticeDb db(root, std::make_shared<FaultEnv>(FaultEnv::Mode::kKill, fault_at));
        status = db.RunUpgrade() == 1 ? 0 : 1;
      } catch (...) {
      }
      ::_exit(status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 86) << "the run was not stopped at change " << fault_at;
    ++killed;
    ExpectCompleteAfterRerun(root, fault_at);
    fs::remove_all(root);
  }
  EXPECT_EQ(killed, static_cast<int>(points.size()));
}

TEST_F(FaultTest, AFailedWriteStopsTheRunWithItsErrorAndTheNextRunCompletes) {
  const std::vector<int> points = FaultPoints(3);
  int stopped = 0;
  for (int fault_at : points) {
    const fs::path root = CopyOriginal(scratch_.path() / std::to_string(fault_at));
    auto env = std::make_shared<FaultEnv>(FaultEnv::Mode::kFail, fault_at);
    try {
      PracticeDb db(root, env);
      db.RunUpgrade();
    } catch (const std::exception& e) {
      ++stopped;
      EXPECT_THAT(e.what(), ::testing::HasSubstr("injected write failure")) << "fault at change " << fault_at;
    }
    EXPECT_TRUE(env->fired()) << fault_at;
    ExpectCompleteAfterRerun(root, fault_at);
    fs::remove_all(root);
  }
  // A failure inside a per-row fill is only that row's; every other one stops the run.
  EXPECT_GE(stopped, static_cast<int>(points.size()) * 9 / 10);
}

}  // namespace
}  // namespace tabulor::upgrade::testing
