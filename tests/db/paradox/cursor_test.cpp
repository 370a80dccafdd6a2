// The cursor as the program uses it: names whatever their case, aliases,
// indexes by name and by field list, FindKey, Locate, master and detail,
// field conversions and the errors it raises.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <system_error>

#include "db/paradox/engine.h"
#include "common/samples.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::ScratchDir;

class ZakazkyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TABULOR_REQUIRE_SAMPLES("paradox");
    testing::CopySampleFolder("zakazky", dir.path());
  }
  ScratchDir dir;
  Session session;
};

TEST_F(ZakazkyTest, TableAndFieldNamesIgnoreCase) {
  Table t(session, dir.path() + "/", "ZAKAZKY.DB");
  EXPECT_TRUE(t.Exists());
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3988);
  EXPECT_NE(t.FindField("cislomereni"), nullptr);
  EXPECT_EQ(t.FindField("nothing"), nullptr);
  try {
    t.FieldByName("nothing");
    FAIL() << "FieldByName must raise";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.field(), "nothing");
    EXPECT_NE(std::string(e.what()).find("zakazky.db"), std::string::npos) << e.what();
  }
  Table missing(session, dir.path(), "Absent");
  EXPECT_FALSE(missing.Exists());
  EXPECT_THROW(missing.Open(), EngineError);
}

TEST_F(ZakazkyTest, IndexByNameOrdersLikeTheIndexFile) {
  Table t(session, dir.path(), "zakazky");
  t.Open();
  ASSERT_EQ(t.Definition().indexes.size(), 1u);
  EXPECT_EQ(t.Definition().indexes[0].name, "ISKUPINA");
  t.SetIndexName("iskupina");
  std::vector<int64_t> prev;
  int rows = 0;
  for (t.First(); !t.Eof(); t.Next(), ++rows) {
    std::vector<int64_t> key{t.FieldByName("ROK").AsInteger(), t.FieldByName("MESIC").AsInteger(),
                             t.FieldByName("DEN").AsInteger(), t.FieldByName("SMENA").AsInteger()};
    EXPECT_LE(prev, key);
    prev = key;
  }
  EXPECT_EQ(rows, 3988);
  // FindKey on the leading fields of the chosen index.
  t.First();
  int64_t rok = t.FieldByName("ROK").AsInteger(), mesic = t.FieldByName("MESIC").AsInteger();
  t.Last();
  ASSERT_TRUE(t.FindKey({rok, mesic}));
  EXPECT_EQ(t.FieldByName("ROK").AsInteger(), rok);
  EXPECT_EQ(t.FieldByName("MESIC").AsInteger(), mesic);
  EXPECT_TRUE(t.Bof() || !t.Eof());
  EXPECT_FALSE(t.FindKey({int64_t{1800}}));
  EXPECT_EQ(t.FieldByName("ROK").AsInteger(), rok);
  EXPECT_THROW(t.SetIndexName("NoSuchIndex"), EngineError);
}

TEST_F(ZakazkyTest, FindKeyOnThePrimaryKeyAndLocate) {
  Table t(session, dir.path(), "zakazky");
  t.Open();
  t.Last();
  int64_t last = t.FieldByName("CisloMereni").AsInteger();
  std::string operator_name = t.FieldByName("OPERATOR").AsString();
  t.First();
  ASSERT_TRUE(t.FindKey({last}));
  EXPECT_EQ(t.FieldByName("OPERATOR").AsString(), operator_name);
  EXPECT_THROW(t.FindKey({std::string("not a number")}), EngineError);
  t.First();
  std::string lower = operator_name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(t.Locate("operator", lower, true));
  EXPECT_EQ(t.FieldByName("OPERATOR").AsString(), operator_name);
  EXPECT_FALSE(t.Locate("operator", std::string("~~ nobody ~~"), true));
  EXPECT_EQ(t.FieldByName("OPERATOR").AsString(), operator_name);
}

TEST(Cursor, MasterAndDetailFollowTheMaster) {
  ScratchDir dir;
  Session session;
  TableDef pat;
  pat.fields = {{"PK_PAT", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 30}};
  pat.key_field_count = 1;
  CreateTable(session, dir.path(), "Patient", pat);
  TableDef exam;
  exam.fields = {{"FK_PAT", FieldType::kLong, 0}, {"PK_EXA", FieldType::kLong, 0}, {"LIB", FieldType::kAlpha, 20}};
  exam.key_field_count = 2;
  CreateTable(session, dir.path(), "Examen", exam);
  Table p(session, dir.path(), "Patient"), e(session, dir.path(), "Examen");
  p.Open();
  e.Open();
  for (int i = 1; i <= 3; ++i) {
    p.Append();
    p.FieldByName("NOM").SetAsString("N" + std::to_string(i));
    p.Post();
    for (int k = 0; k < i; ++k) {
      e.Append();
      e.FieldByName("FK_PAT").SetAsInteger(p.FieldByName("PK_PAT").AsInteger());
      e.FieldByName("PK_EXA").SetAsInteger(10 * i + k);
      e.FieldByName("LIB").SetAsString("E");
      e.Post();
    }
  }
  e.SetMasterSource(&p, "PK_PAT");
  auto count_details = [&] {
    int n = 0;
    for (e.First(); !e.Eof(); e.Next()) {
      EXPECT_EQ(e.FieldByName("FK_PAT").AsInteger(), p.FieldByName("PK_PAT").AsInteger());
      ++n;
    }
    return n;
  };
  p.First();
  EXPECT_EQ(count_details(), 1);
  p.Next();
  EXPECT_EQ(count_details(), 2);
  EXPECT_EQ(e.RecordCount(), 2);
  p.Next();
  EXPECT_EQ(count_details(), 3);
  // A row appended to the detail joins the view.
  e.Append();
  e.FieldByName("FK_PAT").SetAsInteger(3);
  e.FieldByName("PK_EXA").SetAsInteger(99);
  e.Post();
  EXPECT_EQ(e.FieldByName("PK_EXA").AsInteger(), 99);
  EXPECT_EQ(count_details(), 4);
  p.Close();  // a closed master gives every row
  int all = 0;
  for (e.First(); !e.Eof(); e.Next()) ++all;
  EXPECT_EQ(all, 7);
}

TEST(Cursor, IndexFieldNamesAndDescendingOrderOfTextFields) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 20}, {"PRENOM", FieldType::kAlpha, 20}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "People", def);
  Table t(session, dir.path(), "People");
  t.Open();
  const char* rows[][2] = {{"Martin", "Zoé"}, {"Bernard", "Anne"}, {"Martin", "Alain"}, {"Dubois", "Léa"}};
  for (auto& r : rows) {
    t.Append();
    t.FieldByName("NOM").SetAsString(r[0]);
    t.FieldByName("PRENOM").SetAsString(r[1]);
    t.Post();
  }
  t.SetIndexFieldNames("nom;prenom");
  std::vector<std::string> seen;
  for (t.First(); !t.Eof(); t.Next()) seen.push_back(t.FieldByName("NOM").AsString() + " " + t.FieldByName("PRENOM").AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"Bernard Anne", "Dubois Léa", "Martin Alain", "Martin Zoé"}));
  ASSERT_TRUE(t.FindKey({std::string("Martin"), std::string("Zoé")}));
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 1);
  t.SetIndexFieldNames("");
  t.First();
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 1);
}

TEST(Cursor, FieldConversionsNullsAndCuts) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"A", FieldType::kAlpha, 5}, {"S", FieldType::kShort, 0},  {"I", FieldType::kLong, 0},
                {"N", FieldType::kNumber, 0}, {"D", FieldType::kDate, 0},  {"T", FieldType::kTime, 0},
                {"TS", FieldType::kTimestamp, 0}, {"L", FieldType::kLogical, 0}, {"C", FieldType::kMoney, 0},
                {"B", FieldType::kBcd, 2}, {"Y", FieldType::kBytes, 4}, {"M", FieldType::kMemo, 5}};
  def.code_page = 850;
  def.sort_order = "ascii";
  CreateTable(session, dir.path(), "Types", def);
  Table t(session, dir.path(), "Types");
  t.Open();
  t.Append();
  t.Post();  // a row of nulls
  t.Append();
  EXPECT_THROW(t.FieldByName("A").SetAsString("€"), EngineError);  // not in code page 850
  t.FieldByName("A").SetAsString("éèàçù et plus");
  t.FieldByName("S").SetAsString("-12");
  t.FieldByName("I").SetAsFloat(41.6);
  t.FieldByName("N").SetAsString("3,25");
  t.FieldByName("D").SetAsString("29/02/2024");
  t.FieldByName("T").SetAsString("13:45:07");
  t.FieldByName("TS").SetAsDateTime({2020, 2, 1, 1, 0, 1, 250});
  t.FieldByName("L").SetAsString("True");
  t.FieldByName("C").SetAsInteger(12);
  t.FieldByName("B").SetAsFloat(-1.5);
  t.FieldByName("Y").SetAsBlob(std::vector<uint8_t>{1, 2, 3});
  t.FieldByName("M").SetAsString("mémo: " + std::string(100, 'z'));
  EXPECT_THROW(t.FieldByName("S").SetAsInteger(70000), EngineError);
  EXPECT_THROW(t.FieldByName("D").SetAsString("31/02/2024"), EngineError);
  // Texts the engine's former reader took wrongly: signs, numbers wrapped past 32 bits, line breaks,
  // a two-digit year judged by what follows it.
  for (const char* bad : {"21/09/-5", "-0:05", "4294967317/01/2020", "21/09/2020\n08:05", "31/02/2024 10:00", "21/09"})
    EXPECT_THROW(t.FieldByName("TS").SetAsString(bad), EngineError) << bad;
  EXPECT_THROW(t.FieldByName("T").SetAsString("-0:05"), EngineError);
  t.FieldByName("TS").SetAsString("21/09/74\t08:05");
  EXPECT_EQ(t.FieldByName("TS").AsDateTime(), (DateTime{1974, 9, 21, 8, 5, 0, 0}));
  t.FieldByName("TS").SetAsString("21.09.00 08:05:30.250");
  EXPECT_EQ(t.FieldByName("TS").AsDateTime(), (DateTime{2000, 9, 21, 8, 5, 30, 250}));
  t.FieldByName("TS").SetAsString("2020-09-21T08:05:30.1239");
  EXPECT_EQ(t.FieldByName("TS").AsString(), "2020-09-21 08:05:30");
  EXPECT_EQ(t.FieldByName("TS").AsDateTime().msec, 123);
  t.FieldByName("TS").SetAsDateTime({2020, 2, 1, 1, 0, 1, 250});
  t.Post();
  t.Close();

  Session other;
  Table r(other, dir.path(), "types");
  r.Open();
  r.First();
  for (int i = 0; i < r.FieldCount(); ++i) {
    EXPECT_TRUE(r.FieldAt(i).IsNull()) << r.FieldAt(i).Name();
    EXPECT_EQ(r.FieldAt(i).AsString(), "");
    EXPECT_EQ(r.FieldAt(i).AsInteger(), 0);
  }
  r.Next();
  EXPECT_EQ(r.FieldByName("A").AsString(), "éèàçù");
  EXPECT_EQ(r.FieldByName("S").AsInteger(), -12);
  EXPECT_EQ(r.FieldByName("I").AsInteger(), 42);
  EXPECT_DOUBLE_EQ(r.FieldByName("N").AsFloat(), 3.25);
  EXPECT_EQ(r.FieldByName("D").AsDateTime(), (DateTime{2024, 2, 29}));
  EXPECT_EQ(r.FieldByName("T").AsString(), "13:45:07");
  EXPECT_EQ(r.FieldByName("TS").AsDateTime(), (DateTime{2020, 2, 1, 1, 0, 1, 250}));
  EXPECT_TRUE(r.FieldByName("L").AsBoolean());
  EXPECT_DOUBLE_EQ(r.FieldByName("C").AsFloat(), 12.0);
  EXPECT_EQ(r.FieldByName("B").AsString(), "-1.5");
  EXPECT_EQ(r.FieldByName("Y").AsBlob(), (Blob{1, 2, 3, 0}));
  EXPECT_EQ(r.FieldByName("M").AsString(), "mémo: " + std::string(100, 'z'));
  EXPECT_THROW(r.FieldByName("A").SetAsString("x"), EngineError);  // not in edit mode
  EXPECT_THROW(r.FieldByName("A").AsInteger(), EngineError);

  // Number texts in and out are the same under the French locale a desktop program runs in.
  if (!std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
  r.Edit();
  r.FieldByName("N").SetAsString("2.5e-5");
  r.FieldByName("B").SetAsFloat(-1.25);
  r.FieldByName("C").SetAsString(" 7,5 ");
  EXPECT_EQ(r.FieldByName("N").AsString(), "2.5e-05");
  EXPECT_EQ(r.FieldByName("B").AsString(), "-1.25");
  EXPECT_EQ(r.FieldByName("C").AsString(), "7.5");
  r.Cancel();
  std::setlocale(LC_NUMERIC, "C");
}

TEST(Cursor, AssignCopiesBetweenTablesOfDifferentCodePages) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"NOM", FieldType::kAlpha, 20}, {"NOTE", FieldType::kMemo, 4}, {"DT", FieldType::kDate, 0}};
  def.code_page = 437;
  def.sort_order = "ascii";
  CreateTable(session, dir.path(), "Src", def);
  def.code_page = 1252;
  def.sort_order = "DBWINUS0";
  CreateTable(session, dir.path(), "Dst", def);
  Table s(session, dir.path(), "Src"), d(session, dir.path(), "Dst");
  s.Open();
  d.Open();
  s.Append();
  s.FieldByName("NOM").SetAsString("Ñandú");
  s.FieldByName("NOTE").SetAsString("çà et là");
  s.FieldByName("DT").SetAsDateTime({1999, 12, 31});
  s.Post();
  d.Append();
  for (int i = 0; i < 3; ++i) d.FieldAt(i).Assign(s.FieldAt(i));
  d.Post();
  EXPECT_EQ(d.FieldByName("NOM").AsString(), "Ñandú");
  EXPECT_EQ(d.FieldByName("NOTE").AsString(), "çà et là");
  EXPECT_EQ(d.FieldByName("DT").AsDateTime(), (DateTime{1999, 12, 31}));
  // The stored bytes differ with the code page.
  EXPECT_NE(s.FieldByName("NOTE").AsBlob(), d.FieldByName("NOTE").AsBlob());
}

// A row copied between tables whose fields differ in order, size, type and
// code page; blobs go across as stored, a large one in the .MB included.
TEST(Cursor, CopyRecordPairsFieldsAndCopiesBlobsAsStored) {
  ScratchDir dir;
  Session session;
  TableDef src_def;
  src_def.fields = {{"ID", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 20}, {"NOTE", FieldType::kMemo, 4},
                    {"PIC", FieldType::kGraphic, 10}, {"DATA", FieldType::kBlob, 10}, {"DT", FieldType::kDate, 0},
                    {"N", FieldType::kNumber, 0}, {"EXTRA", FieldType::kAlpha, 5}};
  src_def.code_page = 437;
  src_def.sort_order = "ascii";
  CreateTable(session, dir.path(), "Src", src_def);
  TableDef dst_def;
  dst_def.fields = {{"Id", FieldType::kAutoInc, 0}, {"data", FieldType::kBlob, 10}, {"Nom", FieldType::kAlpha, 10},
                    {"DT", FieldType::kDate, 0},      {"NOTE", FieldType::kMemo, 4},  {"PIC", FieldType::kGraphic, 10},
                    {"N", FieldType::kLong, 0},       {"ONLY", FieldType::kAlpha, 5}};
  CreateTable(session, dir.path(), "Dst", dst_def);  // code page 1252
  CreateTable(session, dir.path(), "Same", dst_def);

  Blob large(300000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>((i * 7919) >> 3);
  const Blob picture = {'B', 'M', 0, 1, 2, 0xFF, 0x80};
  Table s(session, dir.path(), "Src"), d(session, dir.path(), "Dst");
  s.Open();
  d.Open();
  s.Append();  // a row of nulls, numbered 1
  s.Post();
  s.Append();
  s.FieldByName("NOM").SetAsString("Ñandú de la Pampa");
  s.FieldByName("NOTE").SetAsString("çà et là");
  s.FieldByName("PIC").SetAsBlob(picture);
  s.FieldByName("DATA").SetAsBlob(large);
  s.FieldByName("DT").SetAsDateTime({1999, 12, 31});
  s.FieldByName("N").SetAsFloat(42);
  s.FieldByName("EXTRA").SetAsString("extra");
  s.Post();
  ASSERT_EQ(s.FieldByName("ID").AsInteger(), 2);

  // By name: the destination numbers its own row; ONLY has no counterpart and keeps its value.
  d.Append();
  d.FieldByName("ONLY").SetAsString("kept");
  EXPECT_EQ(d.CopyRecordFrom(s), 6);
  d.Post();
  EXPECT_EQ(d.FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(d.FieldByName("NOM").AsString(), "Ñandú de l");  // cut to the field's 10 characters
  EXPECT_EQ(d.FieldByName("NOTE").AsString(), "çà et là");
  EXPECT_NE(d.FieldByName("NOTE").AsBlob(), s.FieldByName("NOTE").AsBlob());  // converted to the other code page
  EXPECT_EQ(d.FieldByName("PIC").AsBlob(), picture);
  EXPECT_EQ(d.FieldByName("DATA").BlobSize(), large.size());
  EXPECT_EQ(d.FieldByName("DATA").AsBlob(), large);
  EXPECT_EQ(d.FieldByName("DT").AsDateTime(), (DateTime{1999, 12, 31}));
  EXPECT_EQ(d.FieldByName("N").AsInteger(), 42);
  EXPECT_EQ(d.FieldByName("ONLY").AsString(), "kept");

  // Nulls stay nulls, over values: the row of nulls copied onto the row just written.
  s.First();
  d.Edit();
  d.CopyRecordFrom(s);
  d.Post();
  for (const char* field : {"DATA", "NOM", "DT", "NOTE", "PIC", "N"}) EXPECT_TRUE(d.FieldByName(field).IsNull()) << field;
  EXPECT_EQ(d.FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(d.FieldByName("ONLY").AsString(), "kept");

  // By position, the leading field left out; then a whole row with its number kept.
  Table same(session, dir.path(), "Same");
  same.Open();
  d.First();
  d.Edit();
  d.FieldByName("NOTE").SetAsBlob(Blob{'a', 0x81, 'b'});  // not text in code page 1252
  d.Post();
  EXPECT_THROW(d.FieldByName("NOTE").AsString(), EngineError);
  same.Append();
  EXPECT_EQ(same.CopyRecordFrom(d, {.match = RecordCopy::Match::kByPosition, .first_field = 1, .keep_autoinc = true}), 7);
  same.Post();
  same.Append();
  same.CopyRecordFrom(d, {.match = RecordCopy::Match::kByPosition, .keep_autoinc = true});
  same.Post();
  EXPECT_EQ(same.RecordCount(), 2);
  same.First();
  EXPECT_EQ(same.FieldByName("ID").AsInteger(), 1);  // numbered by Post
  same.Next();
  EXPECT_EQ(same.FieldByName("ID").AsInteger(), 1);  // kept; the table is unkeyed
  EXPECT_EQ(same.FieldByName("NOTE").AsBlob(), (Blob{'a', 0x81, 'b'}));  // same code page: the bytes, never decoded
  EXPECT_EQ(same.FieldByName("ONLY").AsString(), "kept");

  // Named fields: each must exist on both sides.
  s.Last();
  d.Append();
  EXPECT_EQ(d.CopyRecordFrom(s, {.fields = {"data", "dt"}}), 2);
  EXPECT_EQ(d.FieldByName("DATA").AsBlob(), large);
  EXPECT_TRUE(d.FieldByName("NOM").IsNull());
  EXPECT_THROW(d.CopyRecordFrom(s, {.fields = {"EXTRA"}}), EngineError);
  EXPECT_THROW(d.FieldByName("NOM").CopyBlobFrom(s.FieldByName("DATA")), EngineError);
  d.FieldByName("PIC").CopyBlobFrom(s.FieldByName("PIC"));
  d.FieldByName("NOTE").CopyBlobFrom(s.FieldByName("NOTE"));  // other code page: converted
  d.Post();
  d.FlushBuffers();
  EXPECT_EQ(d.FieldByName("PIC").AsBlob(), picture);
  EXPECT_EQ(d.FieldByName("NOTE").AsString(), "çà et là");
  EXPECT_EQ(d.FieldByName("DATA").AsBlob(), large);
  d.Close();
  EXPECT_EQ(VerifyTable(session, dir.path(), "Dst"), std::vector<std::string>{});

  // Blobs copied as stored are read from the source's .MB a piece at a time when
  // the row is posted, and give byte for byte the files that the same blobs set
  // whole give: in the source's record, in its .MB but in the destination's
  // record, sub-allocated, in a block of their own of one, two or many pieces,
  // on new rows and over the blobs of edited rows.
  TableDef raw_def;
  raw_def.fields = {{"ID", FieldType::kAutoInc, 0}, {"DATA", FieldType::kBlob, 2}, {"PIC", FieldType::kGraphic, 10}};
  TableDef out_def;
  out_def.fields = {{"ID", FieldType::kAutoInc, 0}, {"DATA", FieldType::kBlob, 10}, {"PIC", FieldType::kGraphic, 10}};
  CreateTable(session, dir.path(), "Raw", raw_def);
  fs::create_directories(dir / "streamed");
  fs::create_directories(dir / "whole");
  CreateTable(session, dir / "streamed", "Out", out_def);
  CreateTable(session, dir / "whole", "Out", out_def);
  const auto pattern = [](size_t n, int seed) {
    Blob b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 12));
    return b;
  };
  const std::vector<size_t> sizes = {2, 6, 1500, 2049, 2 * 65536, 3000017, 300000};
  Table raw(session, dir.path(), "Raw"), streamed(session, dir / "streamed", "Out"), whole(session, dir / "whole", "Out");
  raw.Open();
  streamed.Open();
  whole.Open();
  for (size_t i = 0; i < sizes.size(); ++i) {
    raw.Append();
    raw.FieldByName("DATA").SetAsBlob(pattern(sizes[i], static_cast<int>(i)));
    raw.FieldByName("PIC").SetAsBlob(pattern(sizes[i] / 3 + 1, static_cast<int>(i) + 50));
    raw.Post();
  }
  int row = 0;
  for (raw.First(); !raw.Eof(); raw.Next(), ++row) {
    streamed.Append();
    EXPECT_EQ(streamed.CopyRecordFrom(raw), 2);
    // Pending, the copies read as their sources.
    EXPECT_FALSE(streamed.FieldByName("DATA").IsNull());
    EXPECT_EQ(streamed.FieldByName("DATA").BlobSize(), sizes[row]);
    EXPECT_EQ(streamed.FieldByName("DATA").AsBlob(), raw.FieldByName("DATA").AsBlob());
    EXPECT_EQ(streamed.FieldByName("PIC").BlobSize(), sizes[row] / 3 + 1);
    EXPECT_EQ(streamed.FieldByName("PIC").AsBlob(), raw.FieldByName("PIC").AsBlob());
    streamed.Post();
    whole.Append();
    whole.FieldByName("DATA").SetAsBlob(raw.FieldByName("DATA").AsBlob());
    whole.FieldByName("PIC").SetAsBlob(raw.FieldByName("PIC").AsBlob());
    whole.Post();
  }
  streamed.FlushBuffers();
  whole.FlushBuffers();
  raw.Last();
  for (streamed.First(), whole.First(); !streamed.Eof(); streamed.Next(), whole.Next(), raw.Prior()) {
    streamed.Edit();
    streamed.FieldByName("DATA").CopyBlobFrom(raw.FieldByName("DATA"));
    streamed.FieldByName("PIC").CopyBlobFrom(raw.FieldByName("DATA"));  // another kind: its bytes
    streamed.Post();
    whole.Edit();
    whole.FieldByName("DATA").SetAsBlob(raw.FieldByName("DATA").AsBlob());
    whole.FieldByName("PIC").SetAsBlob(raw.FieldByName("DATA").AsBlob());
    whole.Post();
  }
  streamed.Close();
  whole.Close();
  const auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (const char* file : {"Out.DB", "Out.MB"}) {
    const std::string streamed_bytes = bytes(dir / ("streamed/" + std::string(file)));
    const std::string whole_bytes = bytes(dir / ("whole/" + std::string(file)));
    EXPECT_GT(streamed_bytes.size(), 0u) << file;
    EXPECT_TRUE(streamed_bytes == whole_bytes) << file << " differs";
  }
  EXPECT_EQ(VerifyTable(session, dir / "streamed", "Out"), std::vector<std::string>{});

  // A blob to copy replaced in its table, and its space used again, before the
  // row is posted: the copy is refused rather than made of other bytes.
  streamed.Open();
  raw.Last();
  ASSERT_EQ(raw.FieldByName("DATA").BlobSize(), 300000u);
  streamed.Append();
  streamed.FieldByName("DATA").CopyBlobFrom(raw.FieldByName("DATA"));
  raw.Edit();
  raw.FieldByName("DATA").SetAsBlob(Blob(10, 1));
  raw.Post();
  raw.FlushBuffers();  // the old blob's space is free
  raw.Append();
  raw.FieldByName("DATA").SetAsBlob(pattern(300000, 99));
  raw.Post();
  EXPECT_THROW(streamed.Post(), EngineError);
  streamed.Cancel();
  EXPECT_EQ(streamed.RecordCount(), static_cast<int64_t>(sizes.size()));
}

TEST(Session, AliasesAndTheAliasFile) {
  ScratchDir dir;
  fs::create_directories(dir / "DATA");
  Session session;
  EXPECT_FALSE(session.AliasExists("KORVANE"));
  EXPECT_THROW(session.AliasPath("KORVANE"), EngineError);
  session.AddAlias("KORVANE", dir / "data\\");  // Windows separator, other case on disk
  EXPECT_TRUE(session.AliasExists("korvane"));
  EXPECT_EQ(session.ResolveDirectory("KORVANE"), dir / "DATA");
  Database db(session, "DB");
  db.SetAliasName("KORVANE");
  db.Open();
  TableDef def;
  def.fields = {{"Version", FieldType::kNumber, 0}};
  CreateTable(session, "DB", "Version.db", def);
  EXPECT_TRUE(TableExists(session, "KORVANE", "VERSION"));
  session.DeleteAlias("KORVANE");
  EXPECT_FALSE(session.AliasExists("KORVANE"));
  EXPECT_THROW(session.DeleteAlias("KORVANE"), EngineError);

  std::ofstream(dir / "tabulor-aliases.ini") << "; aliases\n[Other]\nX=/nowhere\n[Aliases]\nKORVANE = " << (dir / "DATA")
                                             << "\n";
  session.LoadAliasFile(dir / "tabulor-aliases.ini");
  EXPECT_TRUE(session.AliasExists("KORVANE"));
  EXPECT_FALSE(session.AliasExists("X"));
  Database missing(session, "DBImport");
  session.AddAlias("KESTRA_IMPORT", dir / "nowhere");
  missing.SetAliasName("KESTRA_IMPORT");
  EXPECT_THROW(missing.Open(), EngineError);

  // The alias file is read through the session's disk seam, as the tables are:
  // a session on a seam that holds the file in memory finds it there, and
  // nowhere else (the one on disk is not read).
  struct MemoryEnv : Env {
    std::map<std::string, std::string> files;
    int reads = 0;
    struct MemoryFile : File {
      const std::string& bytes;
      int& reads;
      MemoryFile(const std::string& b, int& r) : bytes(b), reads(r) {}
      size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        ++reads;
        if (offset >= bytes.size()) return 0;
        n = std::min<size_t>(n, bytes.size() - offset);
        std::memcpy(buf, bytes.data() + offset, n);
        return n;
      }
      void WriteAt(uint64_t, const void*, size_t) override { throw std::runtime_error("read-only"); }
      uint64_t Size() override { return bytes.size(); }
      void Truncate(uint64_t) override { throw std::runtime_error("read-only"); }
      void Sync() override {}
    };
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
      auto it = files.find(path);
      if (it == files.end() || mode != OpenMode::kRead)
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), path);
      return std::make_unique<MemoryFile>(it->second, reads);
    }
    bool FileExists(const std::string& path) override { return files.count(path) > 0; }
    bool DirectoryExists(const std::string&) override { return false; }
    std::vector<std::string> ListDirectory(const std::string&) override { return {}; }
    void Rename(const std::string&, const std::string&) override {}
    void Remove(const std::string&) override {}
    void CreateDirectory(const std::string&) override {}
    void SyncDirectory(const std::string&) override {}
  };
  auto memory = std::make_shared<MemoryEnv>();
  memory->files["/in-memory/tabulor-aliases.ini"] = "[aliases]\r\nPRACTICE = C:\\Data\\\r\n[Other]\r\nX=/x\r\n";
  Session in_memory(memory);
  in_memory.LoadAliasFile(dir / "tabulor-aliases.ini");  // on disk, not in the seam: adds none
  EXPECT_FALSE(in_memory.AliasExists("KORVANE"));
  EXPECT_EQ(memory->reads, 0);
  in_memory.LoadAliasFile("/in-memory/tabulor-aliases.ini");
  EXPECT_GT(memory->reads, 0);
  EXPECT_EQ(in_memory.AliasPath("practice"), "C:/Data");
  EXPECT_FALSE(in_memory.AliasExists("X"));
}

}  // namespace
}  // namespace tabulor::db
