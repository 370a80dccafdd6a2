// A unit of work over three tables (blobs, secondary indexes) is all or
// nothing: a writer killed, a power cut or a failing write at any write point,
// or a process killed mid-unit, leaves the three tables all as before the unit
// or all after it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "db/paradox/engine.h"
#include "db/paradox/unit_of_work.h"
#include "fault_env.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::FaultEnv;
using testing::ScratchDir;

const char* const kTables[] = {"Patient", "Visit", "Data"};

TableDef Def() {
  TableDef def;
  def.fields = {{"CODE", FieldType::kAlpha, 12}, {"NAME", FieldType::kAlpha, 20}, {"N", FieldType::kLong, 0},
                {"DATA", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  def.block_size_kb = 1;
  def.indexes.push_back({"ByName", {"NAME"}, false, false, true});
  return def;
}

Blob Pattern(size_t n, int seed) {
  Blob b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 29 + i);
  return b;
}

void Append(Table& t, int i) {
  t.Append();
  t.FieldByName("CODE").SetAsString("C" + std::to_string(1000 + i));
  t.FieldByName("NAME").SetAsString("name" + std::to_string(i * 7 % 13));
  t.FieldByName("N").SetAsInteger(i);
  t.FieldByName("DATA").SetAsBlob(Pattern(i % 2 ? 6000 + i : 300 + i, i));
  t.Post();
}

void Prepare(const std::string& dir) {
  Session s;
  for (const char* name : kTables) {
    CreateTable(s, dir, name, Def());
    Table t(s, dir, name);
    t.Open();
    for (int i = 0; i < 6; ++i) Append(t, i);
    t.Close();
  }
}

std::string DumpAll(const std::string& dir) {
  Session s;
  std::string all;
  for (const char* name : kTables) all += testing::DumpTable(s, dir, name);
  return all;
}

// Appends, edits with new blobs, deletes and a lookup of its own rows, over
// several flushes of each table, then commits; `letter` is noted and created.
void RunUnit(Session& s, const std::string& dir, const std::string& letter) {
  UnitOfWork unit(s, dir);
  Table patient(s, dir, "Patient"), visit(s, dir, "Visit"), data(s, dir, "Data");
  patient.Open();
  visit.Open();
  data.Open();
  for (int i = 10; i < 16; ++i) Append(patient, i);
  patient.FlushBuffers();
  // Noted together; the spare name is never created.
  unit.NoteCreatedFiles({letter, letter + ".copy", letter + ".spare"});
  std::ofstream(letter) << "letter";
  std::ofstream(letter + ".copy") << "copy";
  for (visit.First(); !visit.Eof(); visit.Next()) {
    visit.Edit();
    visit.FieldByName("NAME").SetAsString("edited");
    visit.FieldByName("DATA").SetAsBlob(Pattern(7000, 3));
    visit.Post();
  }
  visit.FlushBuffers();
  data.First();
  data.Delete();
  for (int i = 20; i < 24; ++i) Append(data, i);
  data.Close();
  if (!patient.FindKey({std::string("C1012")})) throw std::runtime_error("the unit does not see its own row");
  Append(visit, 30);
  unit.Commit();
}

TEST(UnitOfWork, KilledOrFailingAtEveryWritePointLeavesAllBeforeOrAllAfter) {
  ScratchDir base;
  Prepare(base.path());
  const std::string before = DumpAll(base.path());
  std::string after;
  int operations = 0;
  {
    ScratchDir dry;
    fs::copy(base.path(), dry.path(), fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    auto env = std::make_shared<FaultEnv>(FaultEnv::Mode::kCount, 0);
    Session s(env);
    RunUnit(s, dry.path(), dry / "letter.txt");
    operations = env->operations();
    after = DumpAll(dry.path());
  }
  ASSERT_NE(before, after);
  ASSERT_GT(operations, 50);
  for (FaultEnv::Mode mode : {FaultEnv::Mode::kKill, FaultEnv::Mode::kPowerCut, FaultEnv::Mode::kFail}) {
    int points = 0, as_before = 0, as_after = 0;
    for (int at = 1; at <= operations; ++at) {
      ScratchDir work;
      fs::copy(base.path(), work.path(), fs::copy_options::overwrite_existing | fs::copy_options::recursive);
      auto faulty = std::make_shared<FaultEnv>(mode, at);
      {
        Session s(faulty);
        try {
          RunUnit(s, work.path(), work / "letter.txt");
        } catch (const std::exception&) {
        }
      }
      ASSERT_TRUE(faulty->fired()) << at;
      ++points;
      const std::string dump = DumpAll(work.path());
      const bool is_before = dump == before, is_after = dump == after;
      EXPECT_TRUE(is_before || is_after) << "fault at operation " << at;
      as_before += is_before;
      as_after += is_after;
      EXPECT_EQ(fs::exists(work / "letter.txt"), is_after) << "fault at operation " << at;
      EXPECT_EQ(fs::exists(work / "letter.txt.copy"), is_after) << "fault at operation " << at;
      EXPECT_FALSE(fs::exists(work / "letter.txt.spare")) << "fault at operation " << at;
      for (const char* name : kTables) {
        auto problems = testing::VerifyTable(work.path(), name);
        EXPECT_TRUE(problems.empty()) << "fault at operation " << at << ": " << name << ": " << problems.front();
      }
      for (const auto& e : fs::directory_iterator(work.path()))
        EXPECT_EQ(e.path().string().find("journal"), std::string::npos) << e.path() << " left at operation " << at;
    }
    EXPECT_EQ(as_before + as_after, points);
    EXPECT_GT(as_before, 0);
    std::printf("%s at %d points: %d all before the unit, %d all after it\n",
                mode == FaultEnv::Mode::kKill       ? "writer killed"
                : mode == FaultEnv::Mode::kPowerCut ? "power cut"
                                                    : "a write failed",
                points, as_before, as_after);
  }
}

// Another process reopens the tables of a unit whose writer was killed with
// SIGKILL in the middle of it (after several flushes) or just after its commit.
TEST(UnitOfWork, ReopenedByAnotherProcessAfterAKill) {
  for (bool commit : {false, true}) {
    ScratchDir dir;
    Prepare(dir.path());
    const std::string before = DumpAll(dir.path());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Session s;
      UnitOfWork unit(s, dir.path());
      Table patient(s, dir.path(), "Patient"), data(s, dir.path(), "Data");
      patient.Open();
      data.Open();
      for (int i = 40; i < 80; ++i) {
        Append(patient, i);
        Append(data, i);
        if (i % 10 == 0) {
          patient.FlushBuffers();
          data.FlushBuffers();
        }
      }
      patient.FlushBuffers();
      data.FlushBuffers();
      if (commit) unit.Commit();
      (void)!write(ready[1], "x", 1);
      pause();
      _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    Session s;
    Table patient(s, dir.path(), "Patient"), data(s, dir.path(), "Data");
    patient.Open();
    data.Open();
    EXPECT_EQ(patient.RecordCount(), commit ? 46 : 6);
    EXPECT_EQ(data.RecordCount(), commit ? 46 : 6);
    patient.Close();
    data.Close();
    if (!commit) EXPECT_EQ(DumpAll(dir.path()), before);
    for (const char* name : kTables) EXPECT_TRUE(testing::VerifyTable(dir.path(), name).empty()) << name;
    for (const auto& e : fs::directory_iterator(dir.path()))
      EXPECT_EQ(e.path().string().find("journal"), std::string::npos) << e.path();
  }
}

// After Abandon the tables are as before and a cursor left open refuses to be used.
TEST(UnitOfWork, AbandonRestoresEveryTableAndStaleCursorsRefuse) {
  ScratchDir dir;
  Prepare(dir.path());
  const std::string before = DumpAll(dir.path());
  Session s;
  Table patient(s, dir.path(), "Patient");
  patient.Open();
  {
    UnitOfWork unit(s, dir.path());
    for (int i = 50; i < 60; ++i) Append(patient, i);
    patient.FlushBuffers();
    Table visit(s, dir.path(), "Visit");
    visit.Open();
    visit.First();
    visit.Delete();
    visit.Close();
    unit.NoteCreatedFile(dir / "video.avi");
    std::ofstream(dir / "video.avi") << "v";
    EXPECT_EQ(patient.RecordCount(), 16);
    unit.Abandon();
    EXPECT_FALSE(unit.IsOpen());
    EXPECT_THROW(unit.Commit(), EngineError);
  }
  EXPECT_THROW(patient.RecordCount(), EngineError);
  EXPECT_THROW(patient.FieldByName("CODE").AsString(), EngineError);
  patient.Close();
  EXPECT_FALSE(fs::exists(dir / "video.avi"));
  EXPECT_EQ(DumpAll(dir.path()), before);
  patient.Open();
  EXPECT_EQ(patient.RecordCount(), 6);
}

}  // namespace
}  // namespace tabulor::db
