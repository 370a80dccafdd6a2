// The program started with "update_bd_ortalis": the database beside it is
// upgraded without a window; a failed step is told on standard error, the
// exit status is not 0 and nothing is stamped, and the next start completes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "practice_db.h"

namespace tabulor::upgrade::testing {
namespace {

struct ProgramRun {
  int status = -1;
  std::string errors;
};

// Runs a copy of the program (it looks for DATA and writes its logs beside itself).
ProgramRun RunProgram(const fs::path& dir, const std::string& arguments) {
  const fs::path program = dir / "tabulor";
  if (!fs::exists(program)) fs::copy_file(fs::path(TABULOR_BUILD_DIR) / "tabulor", program);
  const fs::path errors = dir / "stderr.txt";
  const std::string command = "cd '" + dir.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen ./tabulor " +
                              arguments + " 2>'" + errors.string() + "' >/dev/null";
  ProgramRun run;
  const int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  run.errors = text.str();
  return run;
}

TEST(UnattendedUpgradeTest, UpgradesTheDatabaseBesideTheProgram) {
  ScratchDir dir;
  Generate(dir.path(), 0);
  const ProgramRun run = RunProgram(dir.path(), "UPDATE_BD_ORTALIS no_ihm");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(LoggedLabels(dir.path() / "UPGRADE.log"), ExpectedLabels(0));
  PracticeDb db(dir.path());
  for (const auto& [name, version] : db.VersionRows()) EXPECT_EQ(version, 280) << name;
}

TEST(UnattendedUpgradeTest, AFailedStepIsToldOnStandardErrorAndTheNextStartCompletes) {
  ScratchDir dir;
  Generate(dir.path(), 100);
  const fs::path aside = dir.path() / "aside";
  fs::create_directories(aside);
  for (const auto& entry : fs::directory_iterator(dir.path() / "DATA"))
    if (entry.path().stem() == "Posturo") fs::rename(entry.path(), aside / entry.path().filename());

  const ProgramRun failed = RunProgram(dir.path(), "update_bd_ortalis no_ihm");
  EXPECT_NE(failed.status, 0);
  EXPECT_THAT(failed.errors, ::testing::HasSubstr("Posturo"));
  {
    PracticeDb db(dir.path());
    for (const auto& [name, version] : db.VersionRows()) EXPECT_EQ(version, 100) << name;
  }

  for (const auto& entry : fs::directory_iterator(aside))
    fs::rename(entry.path(), dir.path() / "DATA" / entry.path().filename());
  const ProgramRun again = RunProgram(dir.path(), "update_bd_ortalis no_ihm");
  EXPECT_EQ(again.status, 0) << again.errors;
  PracticeDb db(dir.path());
  for (const auto& [name, version] : db.VersionRows()) EXPECT_EQ(version, 280) << name;
  // The first run's lines, a blank line, then the whole of the second run.
  const std::vector<std::string> labels = LoggedLabels(dir.path() / "UPGRADE.log");
  const std::vector<std::string> expected = ExpectedLabels(100);
  ASSERT_GE(labels.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(labels.end() - expected.size(), labels.end()), expected);
}

}  // namespace
}  // namespace tabulor::upgrade::testing
