// A table no one writes keeps the grouped views of its detail cursors in a
// temporary file, sorted through a budget of a few records. Walked through its
// master and searched with FindKey and Locate, such a cursor shows exactly
// what the same cursor over a writable table (its views in memory) shows,
// whatever the order; once the table is written after all, its views are in
// memory and in step again.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/ordered_rows.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;

const char* const kTexts[] = {"abc", "ABC", "Abc", "émile", "ÉMILE", "zoé", "ZOE", "b"};

struct Order {
  const char* name;
  const char* table;
  const char* index_name;
  const char* index_fields;
  const char* master_field;
  const char* id_field;
  const char* text_field;
  const char* second_key;  // what FindKey gives after the master's value: "text", "patient" or ""
};

void PrintTo(const Order& o, std::ostream* os) { *os << o.name; }

const Order kOrders[] = {
    {"ExamsOnFkPat", "Examen", "FK_PAT", "", "PK_PAT", "PK_EXA", "LIB", ""},
    {"ExamsOnCaseInsensitiveLibPatByName", "Examen", "Lib_Pat", "", "NOM", "PK_EXA", "LIB", "patient"},
    {"ExamsOnDescendingLibByName", "Examen", "Lib_Desc", "", "NOM", "PK_EXA", "LIB", ""},
    {"ExamsOnFieldsFkPatLib", "Examen", "", "FK_PAT;LIB", "PK_PAT", "PK_EXA", "LIB", "text"},
    {"UnkeyedNotesOnFieldsFkPatTxt", "Notes", "", "FK_PAT;TXT", "PK_PAT", "ID", "TXT", "text"},
};

constexpr int kPatients = 150;

void Fill(Session& s, const std::string& dir) {
  TableDef pat;
  pat.fields = {{"PK_PAT", FieldType::kLong, 0}, {"NOM", FieldType::kAlpha, 12}};
  pat.key_field_count = 1;
  CreateTable(s, dir, "Patient", pat);
  TableDef exa;
  exa.fields = {{"PK_EXA", FieldType::kLong, 0}, {"FK_PAT", FieldType::kLong, 0}, {"LIB", FieldType::kAlpha, 40}};
  exa.key_field_count = 1;
  CreateTable(s, dir, "Examen", exa);
  AddIndex(s, dir, "Examen", {"FK_PAT", {"FK_PAT"}});
  IndexDef lib_pat{"Lib_Pat", {"LIB", "FK_PAT"}};
  lib_pat.case_insensitive = true;
  AddIndex(s, dir, "Examen", lib_pat);
  IndexDef lib_desc{"Lib_Desc", {"LIB"}};
  lib_desc.descending = true;
  AddIndex(s, dir, "Examen", lib_desc);
  TableDef notes;
  notes.fields = {{"ID", FieldType::kLong, 0}, {"FK_PAT", FieldType::kLong, 0}, {"TXT", FieldType::kAlpha, 12}};
  CreateTable(s, dir, "Notes", notes);

  std::mt19937 rng(7);
  Table p(s, dir, "Patient");
  p.Open();
  for (int i = 1; i <= kPatients; ++i) {
    p.Append();
    p.FieldByName("PK_PAT").SetAsInteger(i);
    p.FieldByName("NOM").SetAsString(kTexts[rng() % std::size(kTexts)]);
    p.Post();
  }
  // Keys in no order and patients past the last one, so that groups are
  // scattered over the blocks and some match no master.
  for (const char* name : {"Examen", "Notes"}) {
    Table t(s, dir, name);
    t.Open();
    const bool exam = std::string(name) == "Examen";
    for (int i = 0; i < 1500; ++i) {
      t.Append();
      t.FieldByName(exam ? "PK_EXA" : "ID").SetAsInteger(static_cast<int64_t>(i) * 7919 % 100003);
      t.FieldByName("FK_PAT").SetAsInteger(1 + rng() % (kPatients + 10));
      t.FieldByName(exam ? "LIB" : "TXT").SetAsString(kTexts[rng() % std::size(kTexts)]);
      t.Post();
    }
    t.FlushBuffers();
  }
}

std::vector<int64_t> Ids(Table& t, const Order& o) {
  std::vector<int64_t> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName(o.id_field).AsInteger());
  return ids;
}

class SpilledView : public ::testing::TestWithParam<Order> {
 protected:
  void SetUp() override {
    OrderedRows::SetSpillThreshold(0);
    index::SetSortBudget(256);  // a few records a sorted run
  }
  void TearDown() override {
    OrderedRows::SetSpillThreshold(16384);
    index::SetSortBudget(4u << 20);
  }
};

TEST_P(SpilledView, ShowsWhatAViewInMemoryShows) {
  const Order& o = GetParam();
  ScratchDir dir;
  {
    Session s;
    Fill(s, dir.path());
  }
  Session spilled_session, memory_session;
  struct Side {
    Table master, detail;
  };
  Side spilled{Table(spilled_session, dir.path(), "Patient"), Table(spilled_session, dir.path(), o.table)};
  Side memory{Table(memory_session, dir.path(), "Patient"), Table(memory_session, dir.path(), o.table)};
  const uint64_t builds_before = OrderedRows::SpilledBuilds();
  for (Side* side : {&spilled, &memory}) {
    const bool read_only = side == &spilled;
    side->master.SetReadOnly(read_only);
    side->detail.SetReadOnly(read_only);
    side->master.Open();
    side->detail.Open();
    if (*o.index_fields) side->detail.SetIndexFieldNames(o.index_fields);
    else side->detail.SetIndexName(o.index_name);
    side->detail.SetMasterSource(&side->master, o.master_field);
  }
  std::mt19937 rng(11);
  int details = 0;
  for (spilled.master.First(), memory.master.First(); !memory.master.Eof(); spilled.master.Next(), memory.master.Next()) {
    ASSERT_FALSE(spilled.master.Eof());
    const std::vector<int64_t> ids = Ids(memory.detail, o);
    ASSERT_EQ(Ids(spilled.detail, o), ids) << "patient " << memory.master.FieldByName("PK_PAT").AsInteger();
    details += static_cast<int>(ids.size());
    // The same searches land on the same rows.
    const Value master_value = memory.master.FieldByName(o.master_field).AsVariant();
    const std::string text = kTexts[rng() % std::size(kTexts)];
    std::vector<Value> key{master_value};
    if (std::string(o.second_key) == "text") key.push_back(text);
    if (std::string(o.second_key) == "patient") key.push_back(static_cast<int64_t>(1 + rng() % (kPatients + 10)));
    const bool ci = rng() % 2;
    const bool found = memory.detail.FindKey(key);
    ASSERT_EQ(spilled.detail.FindKey(key), found);
    if (found) ASSERT_EQ(spilled.detail.FieldByName(o.id_field).AsInteger(), memory.detail.FieldByName(o.id_field).AsInteger());
    const bool located = memory.detail.Locate(o.text_field, text, ci);
    ASSERT_EQ(spilled.detail.Locate(o.text_field, text, ci), located) << text;
    if (located) ASSERT_EQ(spilled.detail.FieldByName(o.id_field).AsInteger(), memory.detail.FieldByName(o.id_field).AsInteger());
  }
  EXPECT_TRUE(spilled.master.Eof());
  EXPECT_GT(details, 500);
  EXPECT_GT(OrderedRows::SpilledBuilds(), builds_before);

  // Written after all: a row added to the first patient shows at once.
  Table writer(spilled_session, dir.path(), o.table);
  writer.Open();
  spilled.master.First();
  const std::vector<int64_t> before = Ids(spilled.detail, o);
  writer.Append();
  writer.FieldByName(o.id_field).SetAsInteger(200000);
  writer.FieldByName("FK_PAT").SetAsInteger(1);
  writer.FieldByName(o.text_field).SetAsString(spilled.master.FieldByName("NOM").AsString());
  writer.Post();
  std::vector<int64_t> after = Ids(spilled.detail, o);
  ASSERT_EQ(after.size(), before.size() + 1);
  after.erase(std::find(after.begin(), after.end(), 200000));
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Orders, SpilledView, ::testing::ValuesIn(kOrders),
                         [](const ::testing::TestParamInfo<Order>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabulor::db
