// Rows written through the cursor come back as written, in key order, after a
// flush and a reopen by another session, and the files stay consistent.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "db/paradox/engine.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;

TableDef PatientLike() {
  TableDef def;
  def.fields = {{"PK_PAT", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 30},
                {"BIRTHDT", FieldType::kDate, 0},  {"POIDS", FieldType::kNumber, 0},
                {"ACTIF", FieldType::kLogical, 0}, {"NOTES", FieldType::kMemo, 20},
                {"DATA", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  return def;
}

Blob Bytes(size_t n, uint8_t seed) {
  Blob b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

TEST(Rows, AppendAssignsAutoIncrementAndRowsSurviveReopen) {
  ScratchDir dir;
  Session session;
  CreateTable(session, dir.path(), "Patient.DB", PatientLike());
  {
    Table t(session, dir.path(), "patient");
    t.Open();
    for (int i = 0; i < 3; ++i) {
      t.Append();
      t.FieldByName("nom").SetAsString("Dupont " + std::to_string(i));
      t.FieldByName("BIRTHDT").SetAsDateTime({1980 + i, 2, 28});
      t.FieldByName("POIDS").SetAsFloat(70.5 + i);
      t.FieldByName("ACTIF").SetAsBoolean(i % 2 == 0);
      t.FieldByName("NOTES").SetAsString("Remarque très longue numéro " + std::to_string(i));
      t.FieldByName("DATA").SetAsBlob(Bytes(i == 2 ? 10000 : 300, static_cast<uint8_t>(i)));
      t.Post();
      EXPECT_EQ(t.FieldByName("PK_PAT").AsInteger(), i + 1);
    }
    t.FlushBuffers();
  }
  Session other;
  Table t(other, dir.path() + "\\", "PATIENT.db");
  t.Open();
  ASSERT_EQ(t.RecordCount(), 3);
  int i = 0;
  for (t.First(); !t.Eof(); t.Next(), ++i) {
    EXPECT_EQ(t.FieldByName("PK_PAT").AsInteger(), i + 1);
    EXPECT_EQ(t.FieldByName("NOM").AsString(), "Dupont " + std::to_string(i));
    EXPECT_EQ(t.FieldByName("BIRTHDT").AsDateTime(), (DateTime{1980 + i, 2, 28}));
    EXPECT_DOUBLE_EQ(t.FieldByName("POIDS").AsFloat(), 70.5 + i);
    EXPECT_EQ(t.FieldByName("ACTIF").AsBoolean(), i % 2 == 0);
    EXPECT_EQ(t.FieldByName("NOTES").AsString(), "Remarque très longue numéro " + std::to_string(i));
    EXPECT_EQ(t.FieldByName("DATA").AsBlob(), Bytes(i == 2 ? 10000 : 300, static_cast<uint8_t>(i)));
  }
  EXPECT_EQ(i, 3);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Patient.DB").empty());
}

TEST(Rows, KeyedTableKeepsKeyOrderAcrossBlockSplits) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"CODE", FieldType::kLong, 0}, {"LABEL", FieldType::kAlpha, 100}};
  def.key_field_count = 1;
  def.block_size_kb = 1;
  CreateTable(session, dir.path(), "Codes", def);
  std::vector<int> keys(600);
  for (int i = 0; i < 600; ++i) keys[i] = i * 3 - 500;
  std::mt19937 rng(7);
  std::shuffle(keys.begin(), keys.end(), rng);
  Table t(session, dir.path(), "Codes");
  t.Open();
  for (int k : keys) {
    t.Append();
    t.FieldByName("CODE").SetAsInteger(k);
    t.FieldByName("LABEL").SetAsString("label " + std::to_string(k));
    t.Post();
  }
  t.Append();
  t.FieldByName("CODE").SetAsInteger(keys[0]);
  EXPECT_THROW(t.Post(), EngineError);
  t.Cancel();
  // Delete every other row, then check order, count and the index.
  int n = 0;
  for (t.First(); !t.Eof();) {
    if (n++ % 2 == 0) t.Delete();
    else t.Next();
  }
  t.FlushBuffers();
  EXPECT_EQ(t.RecordCount(), 300);
  int64_t previous = INT64_MIN;
  for (t.First(); !t.Eof(); t.Next()) {
    int64_t k = t.FieldByName("CODE").AsInteger();
    EXPECT_LT(previous, k);
    EXPECT_EQ(t.FieldByName("LABEL").AsString(), "label " + std::to_string(k));
    previous = k;
  }
  EXPECT_TRUE(t.FindKey({int64_t{-500 + 3}}));
  EXPECT_EQ(t.FieldByName("LABEL").AsString(), "label -497");
  EXPECT_FALSE(t.FindKey({int64_t{-500}}));  // deleted: the current row stays
  EXPECT_EQ(t.FieldByName("CODE").AsInteger(), -497);
  t.Close();
  auto problems = testing::VerifyTable(dir.path(), "Codes");
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(Rows, EditReplacesBlobsAndDeleteReleasesThem) {
  ScratchDir dir;
  Session session;
  CreateTable(session, dir.path(), "Patient", PatientLike());
  Table t(session, dir.path(), "Patient");
  t.Open();
  for (int i = 0; i < 20; ++i) {
    t.Append();
    t.FieldByName("NOM").SetAsString("P" + std::to_string(i));
    t.FieldByName("DATA").SetAsBlob(Bytes(5000 + i, static_cast<uint8_t>(i)));
    t.Post();
  }
  t.FlushBuffers();
  for (t.First(); !t.Eof(); t.Next()) {
    t.Edit();
    t.FieldByName("DATA").SetAsBlob(Bytes(100, 9));
    t.FieldByName("NOTES").SetAsString(std::string(3000, 'x'));
    t.Post();
  }
  t.FlushBuffers();
  ASSERT_TRUE(t.Locate("nom", std::string("p7"), true));
  t.Delete();
  t.FlushBuffers();
  t.Close();
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Patient").empty());
  t.Open();
  EXPECT_EQ(t.RecordCount(), 19);
  EXPECT_FALSE(t.Locate("NOM", std::string("P7")));
  for (t.First(); !t.Eof(); t.Next()) {
    EXPECT_EQ(t.FieldByName("DATA").AsBlob(), Bytes(100, 9));
    EXPECT_EQ(t.FieldByName("NOTES").AsString().size(), 3000u);
  }
}

}  // namespace
}  // namespace tabulor::db

namespace tabulor::db {
namespace {

TEST(Rows, EditingTheKeyMovesTheRowAndADuplicateKeyIsRefused) {
  testing::ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"CODE", FieldType::kAlpha, 10}, {"N", FieldType::kLong, 0}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Keys", def);
  Table t(session, dir.path(), "Keys");
  t.Open();
  for (const char* code : {"B", "D", "F"}) {
    t.Append();
    t.FieldByName("CODE").SetAsString(code);
    t.FieldByName("N").SetAsInteger(code[0]);
    t.Post();
  }
  ASSERT_TRUE(t.FindKey({std::string("B")}));
  t.Edit();
  t.FieldByName("CODE").SetAsString("Z");
  t.Post();
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 'B');  // the cursor follows the moved row
  t.Next();
  EXPECT_TRUE(t.Eof());
  ASSERT_TRUE(t.FindKey({std::string("D")}));
  t.Edit();
  t.FieldByName("CODE").SetAsString("F");
  EXPECT_THROW(t.Post(), EngineError);
  t.Cancel();
  std::string order;
  for (t.First(); !t.Eof(); t.Next()) order += t.FieldByName("CODE").AsString();
  EXPECT_EQ(order, "DFZ");
  t.Last();
  EXPECT_EQ(t.FieldByName("CODE").AsString(), "Z");
  t.Prior();
  EXPECT_EQ(t.FieldByName("CODE").AsString(), "F");
  t.Prior();
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.FieldByName("CODE").AsString(), "D");
}

TEST(Rows, AnEditSeesChangesMadeThroughAnotherCursor) {
  testing::ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kLong, 0}, {"N", FieldType::kLong, 0}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Shared", def);
  Table a(session, dir.path(), "Shared"), b(session, dir.path(), "Shared");
  a.Open();
  for (int i = 1; i <= 4; ++i) {
    a.Append();
    a.FieldByName("ID").SetAsInteger(i);
    a.Post();
  }
  b.Open();
  ASSERT_TRUE(a.FindKey({int64_t{3}}));
  a.Edit();
  a.FieldByName("N").SetAsInteger(33);
  ASSERT_TRUE(b.FindKey({int64_t{1}}));
  b.Delete();  // the rows move up in their block
  a.Post();
  ASSERT_TRUE(b.FindKey({int64_t{3}}));
  EXPECT_EQ(b.FieldByName("N").AsInteger(), 33);
  ASSERT_TRUE(b.FindKey({int64_t{2}}));
  EXPECT_TRUE(b.FieldByName("N").IsNull());
  a.Edit();
  ASSERT_TRUE(b.FindKey({int64_t{3}}));
  b.Delete();  // a's row is gone now
  a.FieldByName("N").SetAsInteger(1);
  EXPECT_THROW(a.Post(), EngineError);
  a.Cancel();
  EXPECT_EQ(b.RecordCount(), 2);
}

TEST(Rows, ReadOnlyAndExclusiveCursors) {
  testing::ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"N", FieldType::kLong, 0}};
  CreateTable(session, dir.path(), "Plain", def);
  Table reader(session, dir.path(), "Plain");
  reader.SetReadOnly(true);
  reader.Open();
  EXPECT_THROW(reader.Append(), EngineError);
  Table exclusive(session, dir.path(), "Plain");
  exclusive.SetExclusive(true);
  EXPECT_THROW(exclusive.Open(), EngineError);  // already open elsewhere
  reader.Close();
  exclusive.Open();
  Table other(session, dir.path(), "Plain");
  EXPECT_THROW(other.Open(), EngineError);
  exclusive.Append();
  exclusive.FieldByName("N").SetAsInteger(5);
  exclusive.Close();  // posts the pending row and flushes
  other.Open();
  EXPECT_EQ(other.RecordCount(), 1);
}

}  // namespace
}  // namespace tabulor::db
