// The headless full import killed (SIGKILL) at changes spread over its whole
// run, from its first write to the practice to its last: each time the practice
// verifies, holds nothing of the run or all of it, and a second run completes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "access_import/import_process.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::access_import::testing {
namespace {

namespace fs = std::filesystem;

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Patients found existing, completed, without sequences; sequences whose file is missing.
    mkmdb::WriteBalantis((dirs_.Root() / "source").string(), {10, 4});
  }
  ImportOutcome Import(const std::string& program_dir, const std::map<std::string, std::string>& environment = {}) {
    const std::string mdb = (dirs_.Root() / "source" / "Balantis2000.mdb").string();
    return RunImportTool((dirs_.Root() / program_dir).string(), {"access", mdb, "--full"}, environment);
  }
  std::map<std::string, std::string> KillEnvironment(const std::string& program_dir, long kill_at) const {
    return {{"LD_PRELOAD", KillLibrary()},
            {"TABULOR_KILL_DIR", dirs_.Data(program_dir) + "/"},
            {"TABULOR_KILL_AT", std::to_string(kill_at)},
            {"TABULOR_KILL_COUNT", (dirs_.Root() / "changes.txt").string()}};
  }
  std::string Data(const std::string& program_dir) const { return dirs_.Data(program_dir); }

  ProgramDirs dirs_{"access_kill"};
};

TEST_F(KillTest, KilledAtAnyChangeThePracticeHoldsNothingOrAllAndARerunCompletesIt) {
  const std::string before = PracticeState(Data("base"));

  // An uninterrupted run, counted: its changes and the practice it leaves.
  dirs_.Fresh("whole");
  const ImportOutcome whole = Import("whole", KillEnvironment("whole", 0));
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  long changes = 0;
  std::ifstream(dirs_.Root() / "changes.txt") >> changes;
  ASSERT_GT(changes, 100) << "the run should write the practice many times";
  const std::string after = PracticeState(Data("whole"));
  const std::string patients_after = PatientState(Data("whole"));
  ASSERT_NE(before, after);
  std::printf("a whole run makes %ld changes to the practice\n", changes);

  // About 60 points, the first and the last change among them.
  std::set<long> points{1, changes};
  for (long at = 1; at <= changes; at += std::max(1L, changes / 60)) points.insert(at);
  int as_before = 0, as_after = 0;
  for (long at : points) {
    SCOPED_TRACE("killed at change " + std::to_string(at) + " of " + std::to_string(changes));
    dirs_.Fresh("work");
    const ImportOutcome killed = Import("work", KillEnvironment("work", at));
    ASSERT_EQ(killed.signal, SIGKILL) << "exit " << killed.exit_status << ": " << killed.err;

    EXPECT_EQ(VerifyProblems(Data("work")), "");
    const std::string left = PracticeState(Data("work"));
    const bool nothing = left == before, all = left == after;
    EXPECT_TRUE(nothing || all) << "the practice holds part of the run";
    as_before += nothing;
    as_after += all;

    const ImportOutcome rerun = Import("work");
    ASSERT_EQ(rerun.exit_status, 0) << rerun.err;
    EXPECT_EQ(VerifyProblems(Data("work")), "");
    // Every source patient once; a run that landed nothing is done whole by the rerun.
    EXPECT_EQ(PatientState(Data("work")), patients_after);
    if (nothing) EXPECT_EQ(PracticeState(Data("work")), after);
  }
  EXPECT_GE(points.size(), 50u);
  EXPECT_GT(as_before, 0);
  std::printf("killed at %zu points: %d left the practice as before, %d with the whole run\n", points.size(),
              as_before, as_after);
}

}  // namespace
}  // namespace tabulor::access_import::testing
