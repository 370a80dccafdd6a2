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

namespace tabulor::compress::testing {
namespace {

namespace fs = std::filesystem;

class KillingEnv : public db::Env {
 public:
  // `kill_at` < 0: only count.
  explicit KillingEnv(int kill_at) : kill_at_(kill_at) {}
  int changes() const { return changes_; }

  // Counts one change; at the chosen one, writes `torn` bytes first and dies.
  void Change(const std::function<void()>& torn = {}) {
    if (++changes_ != kill_at_) return;
    if (torn) torn();
    ::raise(SIGKILL);
  }

  std::unique_ptr<db::File> Open(const std::string& path, db::OpenMode mode) override {
    if (mode == db::OpenMode::kCreate) Change();
    return std::make_unique<CountedFile>(base_->Open(path, mode), *this);
  }
  bool FileExists(const std::string& p) override { return base_->FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return base_->DirectoryExists(p); }
  std::vector<std::string> ListDirectory(const std::string& d) override { return base_->ListDirectory(d); }
  void Rename(const std::string& a, const std::string& b) override { Change(), base_->Rename(a, b); }
  void Remove(const std::string& p) override { Change(), base_->Remove(p); }
  void CreateDirectory(const std::string& p) override { Change(), base_->CreateDirectory(p); }
  // A killed process loses nothing the kernel holds: syncing only marks a point to die at.
  void SyncDirectory(const std::string&) override { Change(); }

 private:
  struct CountedFile : db::File {
    CountedFile(std::unique_ptr<db::File> f, KillingEnv& e) : file(std::move(f)), env(e) {}
    size_t ReadAt(uint64_t o, void* b, size_t n) override { return file->ReadAt(o, b, n); }
    void WriteAt(uint64_t o, const void* b, size_t n) override {
      env.Change([&] { file->WriteAt(o, b, n / 2); });
      file->WriteAt(o, b, n);
    }
    uint64_t Size() override { return file->Size(); }
    void Truncate(uint64_t s) override { env.Change(), file->Truncate(s); }
    void Sync() override { env.Change(); }
    std::unique_ptr<db::File> file;
    KillingEnv& env;
  };
  std::shared_ptr<db::Env> base_ = db::Env::Default();
  int kill_at_;
  int changes_ = 0;
};

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
