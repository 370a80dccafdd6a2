// A table many times larger than its block cache: the engine reads, edits,
// appends, deletes, orders by a secondary index and verifies it through a
// cache of a few blocks, writes out changed blocks before their flush, and
// leaves exactly the files a cache holding the whole table leaves; inside a
// unit of work that is abandoned or committed; and a writer killed at any
// write point leaves the table as at a completed flush. The secondary index
// files, brought in step at each flush from the rows that changed and sorted
// through a budget of a few records, are at every stage byte for byte what a
// fresh build from the rows leaves. The tables of a session share one budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>

#include "db/paradox/engine.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/table_family.h"
#include "db/paradox/unit_of_work.h"
#include "fault_env.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::FaultEnv;
using testing::ScratchDir;

constexpr size_t kDefaultBudget = 2u << 20;

// Sets the cache of the families opened from now on and the bytes of index
// records a flush sorts in memory; back to the defaults after.
struct CacheBudget {
  explicit CacheBudget(size_t bytes, size_t sort_bytes = kDefaultSortBudget) {
    TableFamily::SetDefaultCacheBudget(bytes);
    index::SetSortBudget(sort_bytes);
  }
  ~CacheBudget() {
    TableFamily::SetDefaultCacheBudget(kDefaultBudget);
    index::SetSortBudget(kDefaultSortBudget);
  }
  static constexpr size_t kDefaultSortBudget = 4u << 20;
};

TableDef Def(int block_kb) {
  TableDef def;
  def.fields = {{"ID", FieldType::kLong, 0},
                {"NAME", FieldType::kAlpha, 40},
                {"N", FieldType::kLong, 0},
                {"NOTE", FieldType::kMemo, 12}};
  def.key_field_count = 1;
  def.block_size_kb = block_kb;
  def.indexes.push_back({"ByName", {"NAME"}, false, false, true});
  IndexDef by_n{"ByN", {"N"}};
  by_n.unique = true;
  def.indexes.push_back(by_n);
  return def;
}

std::string NameOf(int id) { return "name " + std::to_string(id * 7919 % 613) + " of " + std::to_string(id); }

void Put(Table& t, int id, int n) {
  t.FieldByName("ID").SetAsInteger(id);
  t.FieldByName("NAME").SetAsString(NameOf(id));
  t.FieldByName("N").SetAsInteger(n);
  // Every fifth note is too long for its leader and goes to the blob file.
  t.FieldByName("NOTE").SetAsString(std::string(id % 5 ? 8 : 300, static_cast<char>('a' + id % 26)));
}

// The rows as a map is expected to hold them: id -> n.
using Model = std::map<int, int>;

// Appends `count` rows in a scattered key order (splitting blocks all over the
// chain), flushing every `flush_every` rows.
void AppendScattered(Table& t, Model& model, int count, int salt, int flush_every) {
  for (int i = 0; i < count; ++i) {
    const int id = (i * 7919 + salt) % 100003 + 1;
    if (model.count(id)) continue;
    t.Append();
    Put(t, id, id + 1000000);
    t.Post();
    model[id] = id + 1000000;
    if (flush_every && (i + 1) % flush_every == 0) t.FlushBuffers();
  }
}

// Edits every 9th row found by its key, deletes every 7th, and appends more.
void EditDeleteAppend(Table& t, Model& model, int salt) {
  std::vector<int> ids;
  for (const auto& [id, n] : model) ids.push_back(id);
  for (size_t k = 0; k < ids.size(); k += 9) {
    ASSERT_TRUE(t.FindKey({int64_t{ids[k]}})) << ids[k];
    ASSERT_EQ(t.FieldByName("NAME").AsString(), NameOf(ids[k]));
    t.Edit();
    t.FieldByName("N").SetAsInteger(ids[k] + 2000000 + salt);
    t.Post();
    model[ids[k]] = ids[k] + 2000000 + salt;
  }
  for (size_t k = 3; k < ids.size(); k += 7) {
    ASSERT_TRUE(t.FindKey({int64_t{ids[k]}})) << ids[k];
    t.Delete();
    model.erase(ids[k]);
  }
  AppendScattered(t, model, 400, salt, 0);
}

// Every row through the primary order, then through the secondary index on
// NAME; the ids in the order of the index go to `by_name`.
void CheckRows(Session& s, const std::string& dir, const Model& model, std::vector<int>& by_name) {
  Table t(s, dir, "Big");
  t.Open();
  ASSERT_EQ(t.RecordCount(), static_cast<int64_t>(model.size()));
  auto it = model.begin();
  for (t.First(); !t.Eof(); t.Next(), ++it) {
    ASSERT_NE(it, model.end());
    ASSERT_EQ(t.FieldByName("ID").AsInteger(), it->first);
    ASSERT_EQ(t.FieldByName("N").AsInteger(), it->second);
    ASSERT_EQ(t.FieldByName("NAME").AsString(), NameOf(it->first));
  }
  ASSERT_EQ(it, model.end());
  t.SetIndexName("ByName");
  const size_t from = by_name.size();
  for (t.First(); !t.Eof(); t.Next()) {
    const int id = static_cast<int>(t.FieldByName("ID").AsInteger());
    ASSERT_EQ(t.FieldByName("NAME").AsString(), NameOf(id));
    ASSERT_EQ(model.at(id), t.FieldByName("N").AsInteger());
    by_name.push_back(id);
  }
  EXPECT_EQ(by_name.size() - from, model.size());
}

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    // The time a table or index file was made is no part of its state.
    if (e.path().extension() != ".MB" && bytes.size() >= 0x64) bytes.replace(0x60, 4, 4, '\0');
    files[e.path().filename().string()] = std::move(bytes);
  }
  return files;
}

// The whole life of the table: built, changed, changed inside a unit that is
// abandoned, then inside one that commits. Returns the files after each stage.
std::vector<std::map<std::string, std::string>> Life(const std::string& dir, Model& model, std::vector<int>& by_name) {
  std::vector<std::map<std::string, std::string>> stages;
  Session s;
  const TableDef def = Def(2);
  CreateTable(s, dir, "Big", def);
  for (const IndexDef& index : def.indexes) AddIndex(s, dir, "Big", index);
  {
    Table t(s, dir, "Big");
    t.Open();
    AppendScattered(t, model, 3000, 17, 500);
    t.Close();
  }
  CheckRows(s, dir, model, by_name);
  EXPECT_EQ(testing::IndexFilesNotAsBuilt(dir, "Big"), std::vector<std::string>{});
  stages.push_back(Files(dir));
  {
    Table t(s, dir, "Big");
    t.Open();
    EditDeleteAppend(t, model, 1);
    // A second row with the key of the unique index is refused, whatever block holds the first.
    const int some = model.begin()->first;
    t.Append();
    Put(t, 999999, model.at(some));
    EXPECT_THROW(t.Post(), EngineError);
    t.Cancel();
    t.Close();
  }
  CheckRows(s, dir, model, by_name);
  EXPECT_EQ(testing::VerifyTable(dir, "Big"), std::vector<std::string>{});
  EXPECT_EQ(testing::IndexFilesNotAsBuilt(dir, "Big"), std::vector<std::string>{});
  stages.push_back(Files(dir));
  {
    Model changed = model;
    UnitOfWork unit(s, dir);
    Table t(s, dir, "Big");
    t.Open();
    EditDeleteAppend(t, changed, 2);
    t.FlushBuffers();
    EditDeleteAppend(t, changed, 3);  // changes written out of the cache, never flushed
    unit.Abandon();
  }
  Session after_abandon;
  CheckRows(after_abandon, dir, model, by_name);
  EXPECT_EQ(Files(dir), stages.back());
  {
    UnitOfWork unit(s, dir);
    Table t(s, dir, "Big");
    t.Open();
    EditDeleteAppend(t, model, 4);
    t.FlushBuffers();
    EditDeleteAppend(t, model, 5);
    t.Close();
    unit.Commit();
  }
  Session after_commit;
  CheckRows(after_commit, dir, model, by_name);
  EXPECT_EQ(testing::VerifyTable(dir, "Big"), std::vector<std::string>{});
  EXPECT_EQ(testing::IndexFilesNotAsBuilt(dir, "Big"), std::vector<std::string>{});
  stages.push_back(Files(dir));
  return stages;
}

TEST(BlockCache, ATableFarLargerThanTheCacheLeavesTheFilesOfAWholeCache) {
  ScratchDir whole_dir, small_dir;
  Model whole_model, small_model;
  std::vector<int> whole_order, small_order;
  const auto whole = Life(whole_dir.path(), whole_model, whole_order);
  const TableFamily::CacheCounters whole_counters = TableFamily::Counters();
  std::vector<std::map<std::string, std::string>> small;
  TableFamily::CacheCounters counters;
  index::RewriteCounters rewrites;
  {
    CacheBudget budget(3 * 2048, 512);  // three 2 KiB blocks; a dozen index records
    small = Life(small_dir.path(), small_model, small_order);
    counters = TableFamily::Counters();
    rewrites = index::Rewrites();
  }
  ASSERT_EQ(whole_model, small_model);
  ASSERT_EQ(whole_order, small_order);
  ASSERT_EQ(small.size(), whole.size());
  for (size_t stage = 0; stage < whole.size(); ++stage) {
    ASSERT_EQ(small[stage].size(), whole[stage].size()) << stage;
    for (const auto& [name, bytes] : whole[stage]) {
      ASSERT_TRUE(small[stage].count(name)) << name;
      const std::string& other = small[stage].at(name);
      const auto at = std::mismatch(bytes.begin(), bytes.end(), other.begin(), other.end());
      EXPECT_TRUE(other == bytes) << "stage " << stage << ": " << name << " differs from byte "
                                  << (at.first - bytes.begin()) << " (sizes " << bytes.size() << ", " << other.size() << ")";
    }
  }
  const size_t table_blocks = whole.back().at("Big.DB").size() / 2048;
  EXPECT_GT(table_blocks, 100u);
  // The whole cache held every block; the small one a few, reading them again
  // and writing changed ones out before their flush.
  EXPECT_GE(whole_counters.most_held, table_blocks / 2);
  EXPECT_LE(counters.most_held, 3u + 4u);
  EXPECT_GT(counters.reads, 10 * table_blocks);
  EXPECT_GT(counters.spills, table_blocks);
  // The first flush of each opening built the index files from every row, the
  // later ones merged the changed rows into them; both sorted in runs spilled
  // to a temporary file.
  EXPECT_GT(rewrites.merged, rewrites.built);
  EXPECT_GT(rewrites.built, 0u);
  EXPECT_GT(rewrites.runs, 10 * (rewrites.merged + rewrites.built));
  std::printf("%zu blocks: %zu held at most, %llu read, %llu written out before a flush; index files merged %llu times, "
              "built %llu times, %llu sorted runs spilled\n",
              table_blocks, counters.most_held, static_cast<unsigned long long>(counters.reads),
              static_cast<unsigned long long>(counters.spills), static_cast<unsigned long long>(rewrites.merged),
              static_cast<unsigned long long>(rewrites.built), static_cast<unsigned long long>(rewrites.runs));
}

// The tables of a session share one budget: walking four tables in step holds
// no more blocks than it allows, and the block that goes is the one least
// recently used in any of them, so that a table in steady use keeps its
// blocks while another is read through from end to end.
TEST(BlockCache, TheTablesOfASessionShareOneBudget) {
  ScratchDir dir;
  constexpr int kTables = 4;
  std::vector<Model> models(kTables);
  const auto name = [](int k) { return "T" + std::to_string(k); };
  {
    Session s;
    for (int k = 0; k < kTables; ++k) {
      CreateTable(s, dir.path(), name(k), Def(2));
      Table t(s, dir.path(), name(k));
      t.Open();
      AppendScattered(t, models[k], 1500, 31 * k, 500);
    }
  }
  struct PoolBudget {
    explicit PoolBudget(size_t bytes) { BlockCachePool::SetBudget(bytes); }
    ~PoolBudget() { BlockCachePool::SetBudget(16u << 20); }
  } budget(8 * 2048);
  Session s;
  std::vector<std::unique_ptr<Table>> tables;
  std::vector<Model::const_iterator> at;
  for (int k = 0; k < kTables; ++k) {
    tables.push_back(std::make_unique<Table>(s, dir.path(), name(k)));
    tables.back()->Open();
    at.push_back(models[k].begin());
  }
  for (bool more = true; more;) {
    more = false;
    for (int k = 0; k < kTables; ++k) {
      Table& t = *tables[k];
      if (t.Eof()) continue;
      ASSERT_NE(at[k], models[k].end()) << name(k);
      ASSERT_EQ(t.FieldByName("ID").AsInteger(), at[k]->first) << name(k);
      ASSERT_EQ(t.FieldByName("N").AsInteger(), at[k]->second) << name(k);
      ++at[k];
      t.Next();
      more = true;
    }
  }
  for (int k = 0; k < kTables; ++k) EXPECT_EQ(at[k], models[k].end()) << name(k);
  // The budget, the block each cursor shows and the one being read in.
  EXPECT_LE(BlockCachePool::MostHeld(), static_cast<size_t>(8 + kTables + 1) * 2048);

  const size_t t1_blocks = fs::file_size(fs::path(dir.path()) / "T1.DB") / 2048;
  ASSERT_GT(t1_blocks, 40u);
  // Rows of three blocks of T0: the cursor shows one of them at a time, the cache keeps the others.
  std::vector<int> hot;
  for (auto it = models[0].begin(); hot.size() < 3; std::advance(it, 150)) hot.push_back(it->first);
  const uint64_t reads_before = TableFamily::Counters().reads;
  Table& t1 = *tables[1];
  for (t1.First(); !t1.Eof(); t1.Next())
    for (int id : hot) ASSERT_TRUE(tables[0]->FindKey({int64_t{id}})) << id;
  // T1's blocks once each and T0's three again, at most.
  EXPECT_LE(TableFamily::Counters().reads - reads_before, t1_blocks + 3);
}

// Rows read from the file, or appended in key order, carry consecutive ids in
// each block; deleting rows at either end of a block or inside it, and
// inserting between rows, keeps every row's identity: a cursor in the order
// of a secondary index, kept open in the same session, shows each row with
// its own values after every change.
TEST(BlockCache, RowsKeepTheirIdentityThroughDeletesAndInsertsAnywhereInABlock) {
  ScratchDir dir;
  Model model;
  {
    Session s;
    const TableDef def = Def(2);
    CreateTable(s, dir.path(), "Big", def);
    for (const IndexDef& index : def.indexes) AddIndex(s, dir.path(), "Big", index);
    Table t(s, dir.path(), "Big");
    t.Open();
    for (int id = 1; id <= 900; ++id) {
      t.Append();
      Put(t, id * 10, id);
      t.Post();
      model[id * 10] = id;
    }
  }
  Session s;
  Table by_name(s, dir.path(), "Big");
  by_name.SetIndexName("ByName");
  by_name.Open();
  Table t(s, dir.path(), "Big");
  t.Open();
  const auto check = [&](const std::string& after) {
    size_t seen = 0;
    for (by_name.First(); !by_name.Eof(); by_name.Next(), ++seen) {
      const int id = static_cast<int>(by_name.FieldByName("ID").AsInteger());
      ASSERT_TRUE(model.count(id)) << after << ": row " << id << " shown";
      ASSERT_EQ(by_name.FieldByName("N").AsInteger(), model.at(id)) << after << ": row " << id;
      ASSERT_EQ(by_name.FieldByName("NAME").AsString(), NameOf(id)) << after << ": row " << id;
    }
    EXPECT_EQ(seen, model.size()) << after;
  };
  check("opened");
  // Every 7th row, then a run of 40 rows that spans whole blocks' first and last rows.
  for (int step = 0; step < 2; ++step) {
    std::vector<int> doomed;
    for (const auto& [id, n] : model)
      if (step == 0 ? n % 7 == 3 : (n >= 300 && n < 340)) doomed.push_back(id);
    // Checked after each change: the view catches up from the record of changes, by row id.
    for (int id : doomed) {
      ASSERT_TRUE(t.FindKey({int64_t{id}})) << id;
      t.Delete();
      model.erase(id);
      check("row " + std::to_string(id) + " deleted");
    }
  }
  // Between rows, and after the last.
  for (int id = 5; id < 9100; id += 130) {
    t.Append();
    Put(t, id, -id);
    t.Post();
    model[id] = -id;
    check("row " + std::to_string(id) + " inserted");
  }
  t.FlushBuffers();
  EXPECT_EQ(testing::VerifyTable(dir.path(), "Big"), std::vector<std::string>{});
}

// A table opened read-only keeps what each of its blocks holds in a temporary
// file, a few pages of it in memory: through a cache of one block it shows
// every row in both orders, finds each key (and misses the absent ones) and
// each row by its id, as the table opened for writing does; once a cursor of
// the same session writes it after all, its blocks are back in memory and
// both cursors show the changed rows.
TEST(BlockCache, AReadOnlyTableKeepsItsBlocksInAFileAndCanBeWrittenAfterAll) {
  ScratchDir dir;
  Model model;
  std::vector<int> by_name_written;
  {
    Session s;
    const TableDef def = Def(2);
    CreateTable(s, dir.path(), "Big", def);
    for (const IndexDef& index : def.indexes) AddIndex(s, dir.path(), "Big", index);
    Table t(s, dir.path(), "Big");
    t.Open();
    // Scattered keys: blocks split all along the chain, half full, many pages of it.
    AppendScattered(t, model, 12000, 17, 3000);
    ASSERT_NO_FATAL_FAILURE(CheckRows(s, dir.path(), model, by_name_written));
  }
  CacheBudget one_block(1);
  Session s;
  Table ro(s, dir.path(), "Big");
  ro.SetReadOnly(true);
  ro.Open();
  ASSERT_EQ(ro.RecordCount(), static_cast<int64_t>(model.size()));
  // The read-only cursor's rows in primary order, as the model holds them.
  const auto walk = [&] {
    auto at = model.begin();
    for (ro.First(); !ro.Eof(); ro.Next(), ++at) {
      ASSERT_NE(at, model.end());
      ASSERT_EQ(ro.FieldByName("ID").AsInteger(), at->first);
      ASSERT_EQ(ro.FieldByName("N").AsInteger(), at->second);
    }
    ASSERT_EQ(at, model.end());
  };
  ASSERT_NO_FATAL_FAILURE(walk());
  auto it = model.end();
  for (ro.Last(); !ro.Bof(); ro.Prior()) {
    --it;
    ASSERT_EQ(ro.FieldByName("ID").AsInteger(), it->first);
  }
  ASSERT_EQ(it, model.begin());
  // Every key, from the last backwards (each search away from the pages held), and the keys between them.
  for (auto k = model.rbegin(); k != model.rend(); ++k) {
    ASSERT_TRUE(ro.FindKey({int64_t{k->first}})) << k->first;
    ASSERT_EQ(ro.FieldByName("N").AsInteger(), k->second);
    if (!model.count(k->first + 1)) ASSERT_FALSE(ro.FindKey({int64_t{k->first + 1}})) << k->first + 1;
  }
  // The order of the index on NAME finds its rows by their ids.
  Table ro_by_name(s, dir.path(), "Big");
  ro_by_name.SetReadOnly(true);
  ro_by_name.SetIndexName("ByName");
  ro_by_name.Open();
  std::vector<int> by_name;
  for (ro_by_name.First(); !ro_by_name.Eof(); ro_by_name.Next()) {
    by_name.push_back(static_cast<int>(ro_by_name.FieldByName("ID").AsInteger()));
    ASSERT_EQ(ro_by_name.FieldByName("NAME").AsString(), NameOf(by_name.back()));
  }
  ASSERT_EQ(by_name, by_name_written);

  Table w(s, dir.path(), "Big");
  w.Open();
  ASSERT_NO_FATAL_FAILURE(EditDeleteAppend(w, model, 5));
  w.FlushBuffers();
  ASSERT_NO_FATAL_FAILURE(walk());
  EXPECT_EQ(ro_by_name.RecordCount(), static_cast<int64_t>(model.size()));
  w.Close();
  ro.Close();
  ro_by_name.Close();
  EXPECT_EQ(testing::VerifyTable(dir.path(), "Big"), std::vector<std::string>{});
  std::vector<int> by_name_after;
  ASSERT_NO_FATAL_FAILURE(CheckRows(s, dir.path(), model, by_name_after));
}

// An unkeyed table's index names each row by its tuple number: the rows
// appended or changed in place since a flush are merged into its files, a
// deletion renumbers the rows after it and the next flush builds the files
// afresh. After every flush they are exactly as built.
TEST(BlockCache, AnUnkeyedTablesIndexStaysAsBuiltThroughAppendsEditsAndDeletes) {
  CacheBudget budget(3 * 2048, 512);
  ScratchDir dir;
  Session s;
  TableDef def = Def(2);
  def.key_field_count = 0;
  def.indexes.resize(1);  // ByName, case-insensitive
  CreateTable(s, dir.path(), "Big", def);
  AddIndex(s, dir.path(), "Big", def.indexes[0]);
  Table t(s, dir.path(), "Big");
  t.Open();
  int64_t rows = 0;
  auto flush = [&](const std::string& after) {
    t.FlushBuffers();
    EXPECT_EQ(t.RecordCount(), rows) << after;
    EXPECT_EQ(testing::IndexFilesNotAsBuilt(dir.path(), "Big"), std::vector<std::string>{}) << after;
  };
  for (int round = 0; round < 6; ++round) {
    const std::string name = "round " + std::to_string(round);
    for (int i = 0; i < 300; ++i, ++rows) {
      t.Append();
      Put(t, round * 1000 + i, i);
      t.Post();
    }
    flush(name + ": appends");
    int k = 0;
    for (t.First(); !t.Eof(); t.Next(), ++k) {
      if (k % 11 != round) continue;
      t.Edit();
      t.FieldByName("NAME").SetAsString("Edited " + std::to_string(k % 97));
      t.Post();
    }
    flush(name + ": edits");
    if (round % 2 == 0) continue;
    k = 0;
    for (t.First(); !t.Eof(); ++k) {
      if (k % 13 == round) {
        t.Delete();
        --rows;
      } else {
        t.Next();
      }
    }
    flush(name + ": deletes");
  }
  t.Close();
  const index::RewriteCounters rewrites = index::Rewrites();
  // Built at the first flush and after each of the three rounds of deletes; merged otherwise.
  EXPECT_EQ(rewrites.built, 4u);
  EXPECT_EQ(rewrites.merged, 11u);
  EXPECT_EQ(testing::VerifyTable(dir.path(), "Big"), std::vector<std::string>{});
}

// A writer killed at each of its writes, its changed blocks going out of a
// one-block cache between flushes: the table reopens as at a completed flush.
// Inside a unit of work the flushes are undoable until it commits.
void KilledRun(Session& s, const std::string& dir, const std::function<void()>& flushed, bool in_unit) {
  Model model;
  for (int id = 1; id <= 160; ++id) model[id] = id;  // as the base table holds them
  std::optional<UnitOfWork> unit;
  if (in_unit) unit.emplace(s, dir);
  Table t(s, dir, "Big");
  t.Open();
  AppendScattered(t, model, 90, 5, 0);
  t.FlushBuffers();
  if (!in_unit) flushed();
  EditDeleteAppend(t, model, 6);
  t.FlushBuffers();
  if (unit) unit->Commit();
  flushed();
}

struct KillCase {
  bool in_unit;
  bool indexes;  // the second flush merges the changed rows into them
};

class BlockCacheKill : public ::testing::TestWithParam<KillCase> {};

TEST_P(BlockCacheKill, AtEveryWriteLeavesACompletedFlush) {
  const bool in_unit = GetParam().in_unit;
  CacheBudget budget(1024, 256);
  ScratchDir base;
  {
    Session s;
    TableDef def = Def(1);
    CreateTable(s, base.path(), "Big", def);
    if (GetParam().indexes)
      for (const IndexDef& index : def.indexes) AddIndex(s, base.path(), "Big", index);
    Table t(s, base.path(), "Big");
    t.Open();
    for (int id = 1; id <= 160; ++id) {
      t.Append();
      Put(t, id, id);
      t.Post();
    }
    t.Close();
  }
  auto copy = [&](const std::string& to) {
    for (const auto& e : fs::directory_iterator(base.path())) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
  };
  std::vector<std::string> states;
  int operations = 0;
  {
    ScratchDir dry;
    copy(dry.path());
    Session s0;
    states.push_back(testing::DumpTable(s0, dry.path(), "Big"));
    auto env = std::make_shared<FaultEnv>(FaultEnv::Mode::kCount, 0);
    Session s(env);
    KilledRun(s, dry.path(), [&] { states.push_back(testing::DumpTable(s, dry.path(), "Big")); }, in_unit);
    operations = env->operations();
  }
  ASSERT_EQ(states.size(), in_unit ? 2u : 3u);
  // The second flush brought the index files in step from the changed rows.
  if (GetParam().indexes) {
    ASSERT_GT(index::Rewrites().merged, 0u);
  }
  ASSERT_GT(TableFamily::Counters().spills, 0u);
  for (int at = 1; at <= operations; at += 1) {
    ScratchDir work;
    copy(work.path());
    auto faulty = std::make_shared<FaultEnv>(FaultEnv::Mode::kKill, at);
    size_t completed = 0;
    {
      Session s(faulty);
      try {
        KilledRun(s, work.path(), [&] { ++completed; }, in_unit);
      } catch (const std::exception&) {
      }
    }
    ASSERT_TRUE(faulty->fired()) << at;
    Session after;
    const std::string dump = testing::DumpTable(after, work.path(), "Big");
    const bool as_completed = dump == states[completed];
    const bool as_next = completed + 1 < states.size() && dump == states[completed + 1];
    EXPECT_TRUE(as_completed || as_next) << "killed at write " << at << " after " << completed << " flushes";
    EXPECT_EQ(testing::VerifyTable(work.path(), "Big"), std::vector<std::string>{}) << "killed at write " << at;
    EXPECT_EQ(testing::IndexFilesNotAsBuilt(work.path(), "Big"), std::vector<std::string>{}) << "killed at write " << at;
  }
  std::printf("writer killed at %d points\n", operations);
}

INSTANTIATE_TEST_SUITE_P(BlockCache, BlockCacheKill,
                         ::testing::Values(KillCase{false, false}, KillCase{true, false}, KillCase{false, true},
                                           KillCase{true, true}),
                         [](const ::testing::TestParamInfo<KillCase>& info) {
                           return std::string(info.param.in_unit ? "InAUnitOfWork" : "AloneFlushing") +
                                  (info.param.indexes ? "WithSecondaryIndexes" : "");
                         });

}  // namespace
}  // namespace tabulor::db
