// A writer stopped at any point of its work (killed, or a write failing as on
// a full disk) leaves every table as at one completed flush: the next open
// rolls back what was half done, and the table verifies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "db/paradox/engine.h"
#include "fault_env.h"
#include "pxlib_reader.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::FaultEnv;
using testing::ScratchDir;

Blob Pattern(size_t n, int seed) {
  Blob b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i);
  return b;
}

struct Workload {
  std::string name;
  TableDef def;
  // Runs the steps; calls `flushed` after each completed flush.
  std::function<void(Session&, const std::string&, const std::function<void()>&)> run;
};

TableDef MeasureDef(bool with_blobs) {
  TableDef def;
  def.fields = {{"CODE", FieldType::kAlpha, 12}, {"N", FieldType::kLong, 0}, {"X", FieldType::kNumber, 0}};
  if (with_blobs) {
    def.fields.push_back({"NOTE", FieldType::kMemo, 12});
    def.fields.push_back({"DATA", FieldType::kBlob, 10});
  }
  def.key_field_count = 1;
  def.block_size_kb = 1;
  return def;
}

void AppendRows(Table& t, int from, int to, bool blobs) {
  for (int i = from; i < to; ++i) {
    t.Append();
    char code[16];
    std::snprintf(code, sizeof code, "K%04d", (i * 37) % 1000);
    t.FieldByName("CODE").SetAsString(code);
    t.FieldByName("N").SetAsInteger(i);
    t.FieldByName("X").SetAsFloat(i / 4.0);
    if (blobs) {
      t.FieldByName("NOTE").SetAsString(std::string(20 + i * 13 % 900, static_cast<char>('a' + i % 26)));
      t.FieldByName("DATA").SetAsBlob(Pattern(i % 3 == 0 ? 9000 + i : 500 + i, i));
    }
    t.Post();
  }
}

void RunSteps(Session& s, const std::string& dir, bool blobs, const std::function<void()>& flushed) {
  Table t(s, dir, "Measure");
  t.Open();
  AppendRows(t, 0, 12, blobs);  // append
  t.FlushBuffers();
  flushed();
  int n = 0;  // edit: new values, new blobs in place of the old ones
  for (t.First(); !t.Eof(); t.Next(), ++n) {
    if (n % 2) continue;
    t.Edit();
    t.FieldByName("N").SetAsInteger(1000 + n);
    if (blobs) t.FieldByName("DATA").SetAsBlob(Pattern(n % 4 == 0 ? 12000 : 700, 50 + n));
    t.Post();
  }
  t.FlushBuffers();
  flushed();
  n = 0;  // delete
  for (t.First(); !t.Eof();) {
    if (n++ % 3 == 0) t.Delete();
    else t.Next();
  }
  t.FlushBuffers();
  flushed();
  AppendRows(t, 40, 48, blobs);  // more appends, into the space just freed
  t.FlushBuffers();
  flushed();
}

std::string PrepareTable(const std::string& dir, bool blobs) {
  Session s;
  CreateTable(s, dir, "Measure", MeasureDef(blobs));
  Table t(s, dir, "Measure");
  t.Open();
  AppendRows(t, 100, 110, blobs);
  t.Close();
  return testing::DumpTable(s, dir, "Measure");
}

void CopyDir(const std::string& from, const std::string& to) {
  for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

using Steps = std::function<void(Session&, const std::string&, const std::function<void()>&)>;

// Stops `steps` at each of its writes in turn (as `mode` does) over a copy of
// the tables `prepare` made, and checks that Measure is then as at a flush.
void CheckFaultPoints(const std::function<std::string(const std::string&)>& prepare, const Steps& steps,
                      FaultEnv::Mode mode, bool pxlib, int* points) {
  ScratchDir base;
  std::vector<std::string> states{prepare(base.path())};
  {
    ScratchDir dry;
    CopyDir(base.path(), dry.path());
    auto env = std::make_shared<FaultEnv>(FaultEnv::Mode::kCount, 0);
    Session s(env);
    steps(s, dry.path(), [&] { states.push_back(testing::DumpTable(s, dry.path(), "Measure")); });
    ASSERT_GT(env->operations(), 40);
    *points = 0;
    for (int at = 1; at <= env->operations(); ++at) {
      ScratchDir work;
      CopyDir(base.path(), work.path());
      auto faulty = std::make_shared<FaultEnv>(mode, at);
      size_t completed = 0;
      {
        Session s2(faulty);
        try {
          steps(s2, work.path(), [&] { ++completed; });
        } catch (const std::exception&) {
        }
      }
      ASSERT_TRUE(faulty->fired()) << at;
      ++*points;
      Session after;
      std::string dump = testing::DumpTable(after, work.path(), "Measure");
      // The last completed flush, or the one under way if it passed its commit point.
      bool as_completed = dump == states[completed];
      bool as_next = completed + 1 < states.size() && dump == states[completed + 1];
      EXPECT_TRUE(as_completed || as_next) << "fault at operation " << at << " after " << completed << " flushes";
      auto problems = testing::VerifyTable(work.path(), "Measure");
      EXPECT_TRUE(problems.empty()) << "fault at operation " << at << ": " << problems.front();
      EXPECT_FALSE(fs::exists(work / "Measure.DB.journal"));
      if (pxlib) {
        EXPECT_NO_THROW(testing::PxlibDump(work / "Measure.DB")) << at;
      }
    }
  }
}

void CheckEveryFaultPoint(bool blobs, FaultEnv::Mode mode, int* points) {
  CheckFaultPoints([&](const std::string& dir) { return PrepareTable(dir, blobs); },
                   [&](Session& s, const std::string& dir, const std::function<void()>& flushed) {
                     RunSteps(s, dir, blobs, flushed);
                   },
                   mode, !blobs, points);
}

TEST(CrashSafety, KillAtEveryWriteWithBlobs) {
  int points = 0;
  CheckEveryFaultPoint(true, FaultEnv::Mode::kKill, &points);
  EXPECT_GE(points, 100);
  std::printf("writer killed at %d points\n", points);
}

TEST(CrashSafety, FailedWriteAtEveryPointWithBlobs) {
  int points = 0;
  CheckEveryFaultPoint(true, FaultEnv::Mode::kFail, &points);
  EXPECT_GE(points, 100);
  std::printf("a write failed at %d points\n", points);
}

TEST(CrashSafety, KillAtEveryWriteWithoutBlobsStaysReadableByPxlib) {
  int points = 0;
  CheckEveryFaultPoint(false, FaultEnv::Mode::kKill, &points);
  EXPECT_GE(points, 30);
  std::printf("writer killed at %d points\n", points);
}

// Raw acquisitions of several MB copied as stored into Measure, as the import
// copies them (read from the source's .MB and written a piece at a time): a new
// row, then over the blob of a row, each step flushed; the writer killed, a
// write failing, or the power cut at every write of the copies.
TEST(CrashSafety, CopiesOfMultiMegabyteBlobsAtEveryWritePoint) {
  const auto prepare = [](const std::string& dir) {
    std::string state = PrepareTable(dir, true);
    Session s;
    TableDef def;
    def.fields = {{"CODE", FieldType::kAlpha, 12}, {"DATA", FieldType::kBlob, 10}};
    CreateTable(s, dir, "Raw", def);
    Table raw(s, dir, "Raw");
    raw.Open();
    for (const size_t size : {size_t{2500000}, size_t{1300007}}) {
      raw.Append();
      raw.FieldByName("CODE").SetAsString("R" + std::to_string(size));
      raw.FieldByName("DATA").SetAsBlob(Pattern(size, static_cast<int>(size % 97)));
      raw.Post();
    }
    return state;
  };
  const Steps copies = [](Session& s, const std::string& dir, const std::function<void()>& flushed) {
    Table raw(s, dir, "Raw"), t(s, dir, "Measure");
    raw.Open();
    t.Open();
    raw.First();
    t.Append();
    t.FieldByName("CODE").SetAsString("ZCOPY");
    EXPECT_EQ(t.CopyRecordFrom(raw, {.fields = {"DATA"}}), 1);
    t.Post();
    t.FlushBuffers();
    flushed();
    raw.Next();
    t.First();
    t.Edit();
    t.FieldByName("DATA").CopyBlobFrom(raw.FieldByName("DATA"));
    t.Post();
    t.FlushBuffers();
    flushed();
  };
  {  // what the steps leave when nothing stops them
    ScratchDir dir;
    prepare(dir.path());
    Session s;
    copies(s, dir.path(), [] {});
    Table raw(s, dir.path(), "Raw"), t(s, dir.path(), "Measure");
    raw.Open();
    t.Open();
    raw.First();
    const Blob first = raw.FieldByName("DATA").AsBlob();
    raw.Next();
    t.First();
    EXPECT_EQ(t.FieldByName("DATA").AsBlob(), raw.FieldByName("DATA").AsBlob());
    ASSERT_TRUE(t.Locate("CODE", std::string("ZCOPY")));
    EXPECT_EQ(t.FieldByName("DATA").AsBlob(), first);
  }
  for (const auto mode : {FaultEnv::Mode::kKill, FaultEnv::Mode::kFail, FaultEnv::Mode::kPowerCut}) {
    int points = 0;
    CheckFaultPoints(prepare, copies, mode, false, &points);
    EXPECT_GE(points, 60);
    std::printf("copies stopped at %d points (%s)\n", points,
                mode == FaultEnv::Mode::kKill ? "killed" : mode == FaultEnv::Mode::kFail ? "failed write" : "power cut");
  }
}

// A real writer process killed with SIGKILL at random moments: every restart
// finds whole batches only.
TEST(CrashSafety, SigkillDuringFlushesLeavesWholeBatches) {
  ScratchDir dir;
  {
    Session s;
    CreateTable(s, dir.path(), "Measure", MeasureDef(true));
  }
  constexpr int kBatch = 7;
  srand(11);
  int64_t rows = 0;
  for (int round = 0; round < 12; ++round) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Session s;
      Table t(s, dir.path(), "Measure");
      t.Open();
      for (int b = 0;; ++b) {
        for (int i = 0; i < kBatch; ++i) {
          t.Append();
          t.FieldByName("CODE").SetAsString("R" + std::to_string(round) + "-" + std::to_string(b) + "-" + std::to_string(i));
          t.FieldByName("N").SetAsInteger(b);
          t.FieldByName("DATA").SetAsBlob(Pattern(3000 + i * 500, b));
          t.Post();
        }
        t.FlushBuffers();
      }
    }
    usleep(static_cast<useconds_t>(20000 + rand() % 60000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    Session s;
    Table t(s, dir.path(), "Measure");
    t.Open();
    EXPECT_EQ(t.RecordCount() % kBatch, 0) << "round " << round;
    EXPECT_GE(t.RecordCount(), rows) << "a completed flush was lost";
    rows = t.RecordCount();
    t.Close();
    auto problems = testing::VerifyTable(dir.path(), "Measure");
    EXPECT_TRUE(problems.empty()) << "round " << round << ": " << problems.front();
  }
  EXPECT_GT(rows, 0);
  std::printf("%lld rows in whole batches after 12 kills\n", static_cast<long long>(rows));
}

}  // namespace
}  // namespace tabulor::db
