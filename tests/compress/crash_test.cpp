// A run killed at any moment leaves every row either as it was or fully
// compressed, and the next run finishes the rest. The run goes in a child
// process whose disk seam kills it (SIGKILL) at its Nth change to the disk,
// after writing half of that change when it is a write.
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "compress/compress_run.h"
#include "data_table.h"
#include "recording_events.h"
#include "common/killing_env.h"

namespace tabulor::compress::testing {
namespace {

using tabulor::testing::KillingEnv;

namespace fs = std::filesystem;

RunOptions SmallGroups() {
  RunOptions options;
  options.workers = 2;
  options.commit.rows = 3;                         // many commits, so many points between them
  options.commit.interval = std::chrono::hours(1);  // and none that depends on the clock
  return options;
}

// Runs the compression on `dir` with the disk seam `env`; the changes it made.
int RunWith(std::shared_ptr<KillingEnv> env, const std::string& dir) {
  db::Session session(env);
  session.AddAlias("KORVANE", dir);
  RecordingEvents events;
  CompressRun run(session, nullptr, events, SmallGroups());
  run.Kompress("200");
  return env->changes();
}

TEST(CrashTest, KilledAtAnyChangeThenFinishedByTheNextRun) {
  TempDir tmp;
  const fs::path base = tmp.Path() / "base";
  fs::create_directories(base);
  std::vector<NewRow> rows;
  for (int i = 0; i < 16; ++i) {
    const int images = i % 4 == 1 ? 90 : 110 + 25 * i;
    rows.push_back({images, 200, i == 9 ? std::optional<int>() : std::optional<int>(0),
                    i == 6 ? db::Blob{} : Acquisition(images, 200, 100 + i)});
  }
  db::Session plain(db::Env::Default());
  CreateDataTable(plain, base.string(), rows);
  const TableState before = ReadDataTable(plain, base.string());

  const fs::path counted = tmp.Path() / "counted";
  fs::copy(base, counted);
  const int changes = RunWith(std::make_shared<KillingEnv>(-1), counted.string());
  ASSERT_GT(changes, 20);
  std::printf("a whole run makes %d changes to the disk\n", changes);

  const int step = std::max(1, changes / 150);
  int killed = 0;
  for (int kill_at = 1; kill_at <= changes; kill_at += step) {
    SCOPED_TRACE("killed at change " + std::to_string(kill_at) + " of " + std::to_string(changes));
    const fs::path work = tmp.Path() / ("work" + std::to_string(kill_at));
    fs::copy(base, work);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        RunWith(std::make_shared<KillingEnv>(kill_at), work.string());
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    ++killed;

    db::Session after(db::Env::Default());
    EXPECT_THAT(CheckRun(before, ReadDataTable(after, work.string()), 20000, false), ::testing::IsEmpty());
    RunWith(std::make_shared<KillingEnv>(-1), work.string());
    EXPECT_THAT(CheckRun(before, ReadDataTable(after, work.string()), 20000, true), ::testing::IsEmpty());
    fs::remove_all(work);
  }
  EXPECT_GE(killed, std::min(changes, 100));
}

}  // namespace
}  // namespace tabulor::compress::testing
