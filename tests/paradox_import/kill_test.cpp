// The database import killed at change after change to the disk, then run
// again: the practice database always verifies and holds either nothing of
// the killed run or all of it, copied files included, and the second run
// leaves it exactly as an uninterrupted run does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "common/killing_env.h"
#include "db/schema/generator/generator.h"
#include "paradox_import/import_run.h"
#include "paradox_import/practice_snapshot.h"
#include "shell/formats.h"

namespace tabulor::paradox_import {
namespace {

namespace fs = std::filesystem;
using tabulor::testing::KillingEnv;

// The practice's tables and the files beside them that a run copies.
struct PracticeState {
  snapshot::Database tables;
  std::set<std::string> files;
  bool operator==(const PracticeState&) const = default;
};

std::set<std::string> CopiedFiles(const fs::path& program) {
  std::set<std::string> files;
  for (const char* folder : {"Documents", "Movies"})
    if (fs::exists(program / folder))
      for (const auto& entry : fs::recursive_directory_iterator(program / folder))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), program).string());
  return files;
}

// The tables without the names of copied videos: each copy takes the next number of
// the settings file, which a killed run has used up too.
snapshot::Database WithoutVideoNames(snapshot::Database db) {
  for (snapshot::Row& row : db.tables["Mesure"])
    for (const char* side : {"VIDEO_LEFT", "VIDEO_RIGHT"})
      if (row.count(side) && !row[side].empty()) row[side] = "(copy)";
  return db;
}

// Every video copy a measurement names is there.
void ExpectVideosPresent(const fs::path& program, const snapshot::Database& db) {
  for (const snapshot::Row& row : db["Mesure"])
    for (const char* side : {"VIDEO_LEFT", "VIDEO_RIGHT"})
      if (row.count(side) && row.at(side).rfind("media", 0) == 0) {
        EXPECT_TRUE(fs::exists(program / "Movies" / row.at(side))) << row.at(side);
      }
}

// Runs the whole import of `source` into the practice of `program` through the disk seam `env`.
void Import(std::shared_ptr<db::Env> env, const fs::path& program, const std::string& source_dir) {
  db::Session session(std::move(env));
  session.AddAlias("PRACTICE", (program / "DATA").string());
  ParadoxSource source(session);
  source.Open(source_dir);
  const std::string program_dir = program.string() + "/";
  ImportEvents events;
  ImportRun run(Destination{&session, "PRACTICE", program_dir, ReadImportFolders(program_dir)}, source, nullptr,
                events, RunOptions{true, true, 10}, [] { return db::DateTime{2025, 6, 30}; });
  run.Run();
}

class ParadoxImportKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("paradox_import_kill_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    // The source's size can be raised for a run by hand (TABULOR_KILL_TEST_PATIENTS=2000).
    const char* size = std::getenv("TABULOR_KILL_TEST_PATIENTS");
    schema::GeneratorOptions practice;
    practice.patients = size ? std::atoi(size) : 24;
    schema::GeneratePracticeDatabase((root_ / "pristine").string(), practice);
    std::ofstream(root_ / "pristine" / "Ortalis.INI") << "[Video]\r\nLastIndex=1\r\n";
    schema::GeneratorOptions other = practice;
    other.seed = 5;
    other.share_seed = practice.seed;
    other.share_patients = practice.patients;
    other.share = 0.3;
    schema::GeneratePracticeDatabase((root_ / "other").string(), other);
    shell::SetShortDateFormat("dd/mm/yy");
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path FreshPractice(const std::string& name) const {
    const fs::path copy = root_ / name;
    fs::remove_all(copy);
    fs::copy(root_ / "pristine", copy, fs::copy_options::recursive);
    return copy;
  }
  PracticeState State(const fs::path& program) {
    db::Session session;  // a new one, as the next program to open the tables
    return {snapshot::Read(session, (program / "DATA").string()), CopiedFiles(program)};
  }
  std::string SourceDir() const { return (root_ / "other" / "DATA").string(); }

  fs::path root_;
};

TEST_F(ParadoxImportKillTest, KilledAnywhereThePracticeHoldsNothingOrAllAndTheNextRunCompletesIt) {
  const PracticeState before = State(root_ / "pristine");
  // In the folder the killed runs use too: the letters' rows name their copies' paths.
  const fs::path whole = FreshPractice("killed");
  auto counter = std::make_shared<KillingEnv>(-1);
  Import(counter, whole, SourceDir());
  const PracticeState after = State(whole);
  ASSERT_NE(after.tables.tables.at("Patient").size(), before.tables.tables.at("Patient").size());
  ASSERT_GT(after.files.size(), before.files.size()) << "the run copies letters and videos";
  const int changes = counter->changes();
  std::printf("an import makes %d changes to the disk\n", changes);

  constexpr int kPoints = 52;
  int killed = 0, found_before = 0, found_after = 0;
  for (int i = 0; i < kPoints; ++i) {
    const int kill_at = 1 + static_cast<int>(static_cast<int64_t>(changes - 1) * i / (kPoints - 1));
    const fs::path program = FreshPractice("killed");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        Import(std::make_shared<KillingEnv>(kill_at), program, SourceDir());
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "not killed at change " << kill_at;
    ++killed;

    const PracticeState left = State(program);
    for (const auto& entry : fs::directory_iterator(program / "DATA")) {
      if (snapshot::Upper(entry.path().extension().string()) != ".DB") continue;
      db::Session session;
      EXPECT_TRUE(db::VerifyTable(session, (program / "DATA").string(), entry.path().filename().string()).empty())
          << entry.path() << " after a kill at change " << kill_at;
    }
    const bool nothing = left == before;
    const bool all = left.tables == after.tables && left.files == after.files;
    EXPECT_TRUE(nothing || all) << "a kill at change " << kill_at << " of " << changes << " left part of the run";
    found_before += nothing;
    found_after += all;

    if (!all) Import(db::Env::Default(), program, SourceDir());
    const PracticeState completed = State(program);
    EXPECT_TRUE(WithoutVideoNames(completed.tables) == WithoutVideoNames(after.tables))
        << "the run after a kill at change " << kill_at;
    ExpectVideosPresent(program, completed.tables);
  }
  EXPECT_EQ(killed, kPoints);
  EXPECT_GT(found_before, 0);
  EXPECT_GT(found_after, 0);  // the last point falls after the commit
}

}  // namespace
}  // namespace tabulor::paradox_import
