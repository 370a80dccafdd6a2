// ALTER TABLE, AddIndex, ChangeField and RenameTable: what they change, what
// they leave alone, and the requests they refuse without changing anything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "db/paradox/engine.h"
#include "commands.h"
#include "db/paradox/index/index_check.h"
#include "db/paradox/schema_ops/sql_parser.h"
#include "db/paradox/table_family.h"
#include "pxlib_reader.h"
#include "common/samples.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::ScratchDir;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every file of a directory with its bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& dir) {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const auto& e : fs::directory_iterator(dir)) out[e.path().filename().string()] = ReadBytes(e.path().string());
  return out;
}

// The dump lines with the last `extra` columns of each line cut off.
std::string WithoutLastColumns(const std::string& dump, int extra) {
  std::string out, line;
  std::istringstream in(dump);
  while (std::getline(in, line)) {
    for (int i = 0; i < extra; ++i) line = line.substr(0, line.rfind('\t'));
    out += line + "\n";
  }
  return out;
}

TEST(AlterTable, AddsNullFieldsOfEveryTypeAndLeavesTheBlobFileAlone) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  Session session;
  const std::string before = testing::DumpTable(session, dir.path(), "CUSTOMER");
  struct stat mb_before {};
  ASSERT_EQ(::stat((dir / "CUSTOMER.MB").c_str(), &mb_before), 0);
  const auto mb_bytes = ReadBytes(dir / "CUSTOMER.MB");
  ExecSql(session, dir.path(),
          "alter table Customer add CLASSE INTEGER, ADD Logo Char(255), add EXPIRE_DATE date, ADD Pressions BOOLEAN, "
          "add S smallint, add F float, add NUM numeric(10,2), add T time, add TS timestamp, add V varchar(12);");
  struct stat mb_after {};
  ASSERT_EQ(::stat((dir / "CUSTOMER.MB").c_str(), &mb_after), 0);
  EXPECT_EQ(mb_after.st_mtim.tv_sec, mb_before.st_mtim.tv_sec);
  EXPECT_EQ(mb_after.st_mtim.tv_nsec, mb_before.st_mtim.tv_nsec);
  EXPECT_EQ(ReadBytes(dir / "CUSTOMER.MB"), mb_bytes);

  Table t(session, dir.path(), "customer.db");
  t.Open();
  const std::map<std::string, FieldType> added = {
      {"CLASSE", FieldType::kLong},   {"LOGO", FieldType::kAlpha},     {"EXPIRE_DATE", FieldType::kDate},
      {"PRESSIONS", FieldType::kLogical}, {"S", FieldType::kShort},   {"F", FieldType::kNumber},
      {"NUM", FieldType::kNumber},    {"T", FieldType::kTime},         {"TS", FieldType::kTimestamp},
      {"V", FieldType::kAlpha}};
  for (const auto& [name, type] : added) {
    Field* f = t.FindField(name);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_EQ(f->Type(), type) << name;
  }
  EXPECT_EQ(t.FieldByName("Logo").Size(), 255);
  EXPECT_EQ(t.FieldByName("V").Size(), 12);
  int rows = 0;
  for (t.First(); !t.Eof(); t.Next(), ++rows)
    for (const auto& [name, type] : added) EXPECT_TRUE(t.FieldByName(name).IsNull()) << name;
  EXPECT_EQ(rows, 20);
  // Old values and the memo texts (kept in the untouched .MB) read as before.
  t.Close();
  const std::string after = WithoutLastColumns(testing::DumpTable(session, dir.path(), "CUSTOMER"), 10);
  EXPECT_EQ(after.substr(after.find('\n')), before.substr(before.find('\n')));
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "CUSTOMER").empty());
  // The index on City is still valid and usable.
  t.SetIndexName("City");
  t.Open();
  EXPECT_TRUE(t.FindKey({std::string("Los Gatos")}));
  // The new fields take values.
  t.Edit();
  t.FieldByName("CLASSE").SetAsInteger(1);
  t.FieldByName("Pressions").SetAsBoolean(false);
  t.Post();
  t.Close();
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "CUSTOMER").empty());
}

TEST(AlterTable, TableWithoutBlobsStaysReadableByPxlib) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("zakazky", dir.path());
  Session session;
  ExecSql(session, dir.path(), "ALTER TABLE zakazky ADD ZIPPED INTEGER, ADD NOTE CHAR(20)");
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "zakazky").empty());
  const std::string ours = testing::DumpTable(session, dir.path(), "zakazky");
  std::string theirs;
  ASSERT_NO_THROW(theirs = testing::PxlibDump(dir / "zakazky.db"));
  // pxlib reads the same rows (its first line has no names).
  EXPECT_EQ(ours.substr(ours.find('\n')), theirs.substr(theirs.find('\n')));
  Table t(session, dir.path(), "zakazky");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3988);
}

TEST(AlterTable, RefusedStatementsChangeNothing) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  const auto before = Snapshot(dir.path());
  Session session;
  for (const char* statement : {
           "ALTER TABLE CUSTOMER ADD CLASSE",                 // no type
           "ALTER TABLE CUSTOMER ADD CLASSE INTEGR",          // unknown type
           "ALTER TABLE CUSTOMER ADD X CHAR",                 // no size
           "ALTER TABLE CUSTOMER ADD X CHAR(256)",            // too long
           "ALTER TABLE CUSTOMER ADD X INTEGER ADD Y DATE",   // no comma
           "ALTER TABLE CUSTOMER DROP City",                  // not supported
           "UPDATE CUSTOMER SET City = 'x'",
           "ALTER TABLE NOPE ADD X INTEGER",                  // missing table
           "ALTER TABLE CUSTOMER ADD city CHAR(10)",          // existing field, other case
           "ALTER TABLE CUSTOMER ADD X INTEGER, ADD x DATE",  // added twice
       }) {
    EXPECT_THROW(ExecSql(session, dir.path(), statement), EngineError) << statement;
  }
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(AddIndex, RefusalsLeaveTheTableUnchanged) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  const auto before = Snapshot(dir.path());
  Session session;
  IndexDef existing{"City", {"City"}};
  EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", existing), EngineError);
  IndexDef unknown{"Ix", {"LastName", "Nope"}};
  EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", unknown), EngineError);
  IndexDef duplicates{"State unique", {"State/Prov"}};
  duplicates.unique = true;  // every customer is in CA
  EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", duplicates), EngineError);
  IndexDef primary{"", {"CustNo"}};
  primary.primary = true;  // already keyed
  EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", primary), EngineError);
  {
    Table open(session, dir.path(), "CUSTOMER");
    open.Open();
    IndexDef fine{"Par nom", {"LastName"}};
    EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", fine), EngineError);  // the table is open
  }
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(AddIndex, PrimaryIndexMakesAnUnkeyedTableKeyedInKeyOrder) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"PK_VILLE", FieldType::kLong, 0}, {"NOM", FieldType::kAlpha, 40}};
  CreateTable(session, dir.path(), "Ville", def);
  {
    Table t(session, dir.path(), "Ville");
    t.Open();
    for (int id : {30, 10, 20, 50, 40}) {
      t.Append();
      t.FieldByName("PK_VILLE").SetAsInteger(id);
      t.FieldByName("NOM").SetAsString("Ville " + std::to_string(id));
      t.Post();
    }
  }
  IndexDef key{"PK_VILLE", {"PK_VILLE"}};
  key.primary = key.unique = true;
  AddIndex(session, dir.path(), "Ville", key);
  EXPECT_TRUE(fs::exists(dir / "Ville.PX"));
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Ville").empty());
  Table t(session, dir.path(), "Ville");
  t.Open();
  EXPECT_EQ(t.Definition().key_field_count, 1);
  std::vector<int64_t> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("PK_VILLE").AsInteger());
  EXPECT_EQ(ids, (std::vector<int64_t>{10, 20, 30, 40, 50}));
  ASSERT_TRUE(t.FindKey({int64_t{40}}));
  EXPECT_EQ(t.FieldByName("NOM").AsString(), "Ville 40");
  t.Append();
  t.FieldByName("PK_VILLE").SetAsInteger(20);
  EXPECT_THROW(t.Post(), EngineError);
  t.Cancel();
  t.Close();
  // Done once, the same addition is refused: the index exists.
  EXPECT_THROW(AddIndex(session, dir.path(), "Ville", key), EngineError);
}

TEST(AddIndex, PrimaryIndexOverDuplicateValuesIsRefused) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kLong, 0}};
  CreateTable(session, dir.path(), "T", def);
  {
    Table t(session, dir.path(), "T");
    t.Open();
    for (int id : {1, 2, 1}) {
      t.Append();
      t.FieldByName("ID").SetAsInteger(id);
      t.Post();
    }
  }
  const auto before = Snapshot(dir.path());
  IndexDef key{"", {"ID"}};
  key.primary = true;
  EXPECT_THROW(AddIndex(session, dir.path(), "T", key), EngineError);
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(ChangeField, RenamesAFieldAndTheIndexesOnItFollow) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  Session session;
  const std::string before = testing::DumpTable(session, dir.path(), "CUSTOMER");
  FieldChange change;
  change.new_name = "Ville";
  ChangeField(session, dir.path(), "CUSTOMER", "city", change);
  const std::string after = testing::DumpTable(session, dir.path(), "CUSTOMER");
  EXPECT_EQ(after.substr(after.find('\n')), before.substr(before.find('\n')));  // the same rows
  EXPECT_NE(after.find("Ville:"), std::string::npos);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "CUSTOMER").empty());
  Table t(session, dir.path(), "CUSTOMER");
  t.SetIndexName("Ville");
  t.Open();
  EXPECT_EQ(t.FindField("City"), nullptr);
  EXPECT_TRUE(t.FindKey({std::string("Santa Cruz")}));
  t.Close();
  // Renaming onto another field's name, or a missing field, changes nothing.
  const auto snapshot = Snapshot(dir.path());
  change.new_name = "LastName";
  EXPECT_THROW(ChangeField(session, dir.path(), "CUSTOMER", "FirstName", change), EngineError);
  change.new_name = "X";
  EXPECT_THROW(ChangeField(session, dir.path(), "CUSTOMER", "DATE", change), EngineError);
  EXPECT_EQ(Snapshot(dir.path()), snapshot);
}

TEST(ChangeField, ChangesATypeConvertingTheValues) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/joins", dir.path());
  Session session;
  FieldChange change;
  change.new_type = FieldType::kNumber;
  ChangeField(session, dir.path(), "C", "B", change);
  Table t(session, dir.path(), "C");
  t.SetIndexName("B");
  t.Open();
  EXPECT_EQ(t.FieldByName("B").Type(), FieldType::kNumber);
  std::vector<double> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.FieldByName("B").AsFloat());
  ASSERT_EQ(values.size(), 3u);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  t.Close();
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "C").empty());
}

TEST(RenameTable, MovesEveryFileOfTheFamily) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  std::ofstream(dir / "CUSTOMER.VAL") << "checks";
  std::ofstream(dir / "CUSTOMERS.DB") << "another table's name only starts the same";
  Session session;
  const std::string before = testing::DumpTable(session, dir.path(), "CUSTOMER");
  RenameTable(session, dir.path(), "Customer", "Clients");
  for (const char* ext : {".DB", ".MB", ".PX", ".X06", ".Y06", ".VAL"}) {
    EXPECT_TRUE(fs::exists(dir / (std::string("Clients") + ext))) << ext;
    EXPECT_FALSE(fs::exists(dir / (std::string("CUSTOMER") + ext))) << ext;
  }
  EXPECT_TRUE(fs::exists(dir / "CUSTOMERS.DB"));
  EXPECT_EQ(testing::DumpTable(session, dir.path(), "Clients"), before);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Clients").empty());
  // Onto an existing table, or from a missing one: refused.
  EXPECT_THROW(RenameTable(session, dir.path(), "Clients", "ORDERS"), EngineError);
  EXPECT_THROW(RenameTable(session, dir.path(), "Nope", "Other"), EngineError);
  EXPECT_TRUE(fs::exists(dir / "Clients.DB"));
}

TEST(Locks, ATableAnotherProgramHoldsIsNeitherWrittenNorRestructured) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  // The directory's lock list names the open tables of the other programs.
  std::string lock(256, '\0');
  lock.replace(32, 8, "CUSTOMER");
  std::ofstream(dir / "PDOXUSRS.LCK", std::ios::binary) << lock;
  const auto before = Snapshot(dir.path());
  Session session;
  EXPECT_THROW(ExecSql(session, dir.path(), "ALTER TABLE CUSTOMER ADD X INTEGER"), EngineError);
  EXPECT_THROW(AddIndex(session, dir.path(), "CUSTOMER", IndexDef{"Par nom", {"LastName"}}), EngineError);
  EXPECT_THROW(RenameTable(session, dir.path(), "CUSTOMER", "CLIENTS"), EngineError);
  {
    Table t(session, dir.path(), "CUSTOMER");
    t.Open();  // reading is allowed
    EXPECT_EQ(t.RecordCount(), 20);
    try {
      t.Edit();
      FAIL() << "a held table was opened for writing";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Snapshot(dir.path()), before);
  // Tables the lock list does not name are free; so is a name that only contains it.
  EXPECT_NO_THROW(ExecSql(session, dir.path(), "ALTER TABLE ORDERS ADD X INTEGER"));
  lock.replace(32, 9, "CUSTOMERS");
  std::ofstream(dir / "PDOXUSRS.LCK", std::ios::binary) << lock;
  EXPECT_NO_THROW(ExecSql(session, dir.path(), "ALTER TABLE CUSTOMER ADD X INTEGER"));
  // The per-table lock file of the older protocol holds the table too.
  std::ofstream(dir / "ORDERS.LCK") << "";
  EXPECT_THROW(ExecSql(session, dir.path(), "ALTER TABLE ORDERS ADD Y INTEGER"), EngineError);
}

TEST(Exclusive, AnExclusiveCursorRefusesOthers) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  Session session;
  Table a(session, dir.path(), "CUSTOMER");
  a.SetExclusive(true);
  a.Open();
  Table b(session, dir.path(), "CUSTOMER");
  EXPECT_THROW(b.Open(), EngineError);
  FieldChange change;
  change.new_name = "Ville";
  EXPECT_THROW(ChangeField(session, dir.path(), "CUSTOMER", "City", change), EngineError);
  a.Close();
  EXPECT_NO_THROW(b.Open());
}

TEST(AddIndex, NewIndexFilesAreReadByPxlib) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/joins", dir.path());
  Session session;
  IndexDef idx{"A et B", {"A", "B"}};
  idx.case_insensitive = true;
  AddIndex(session, dir.path(), "C", idx);
  ASSERT_TRUE(fs::exists(dir / "C.XG0"));
  std::string x, y;
  ASSERT_NO_THROW(x = testing::PxlibDump(dir / "C.XG0"));
  ASSERT_NO_THROW(y = testing::PxlibDump(dir / "C.YG0"));
  EXPECT_EQ(std::count(x.begin(), x.end(), '\n'), 1 + 3);  // a line per row after the field line
  EXPECT_EQ(std::count(y.begin(), y.end(), '\n'), 1 + 1);  // one X block
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "C").empty());
}

// The steps of the schema upgrade that rebuild the protocol table: its key
// is dropped with its index files, fields added, then both indexes added again.
TEST(UpgradeSteps, ProtocolTableRebuiltAfterItsKeyIsDropped) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"PK_TYPE", FieldType::kAutoInc, 0}, {"CODE", FieldType::kAlpha, 30}, {"DUREE", FieldType::kAlpha, 5}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Type", def);
  {
    Table t(session, dir.path(), "Type");
    t.Open();
    for (const char* code : {"Romberg", "Yeux fermés", "Mousse"}) {
      t.Append();
      t.FieldByName("CODE").SetAsString(code);
      t.Post();
    }
  }
  IndexDef old_index{"Protocole existant", {"CODE"}};
  AddIndex(session, dir.path(), "Type", old_index);
  DropPrimaryKey(session, dir.path(), "Type");
  EXPECT_THAT(TableFamilyFiles(session, dir.path(), "Type"), ::testing::ElementsAre("Type.DB"));
  ExecSql(session, dir.path(), "ALTER TABLE Type ADD FK_NORM_1 INTEGER, ADD FK_NORM_2 INTEGER, ADD FK_NORM_3 INTEGER, ADD FK_NORM_4 INTEGER");
  IndexDef key{"PK_TYPE", {"PK_TYPE"}};
  key.primary = key.unique = true;
  AddIndex(session, dir.path(), "Type", key);
  IndexDef code{"Protocole existant", {"CODE"}};
  code.unique = code.case_insensitive = true;
  AddIndex(session, dir.path(), "Type", code);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Type").empty());
  Table t(session, dir.path(), "Type");
  t.SetIndexName("Protocole existant");
  t.Open();
  ASSERT_TRUE(t.FindKey({std::string("YEUX FERMÉS")}));
  EXPECT_EQ(t.FieldByName("PK_TYPE").AsInteger(), 2);
  EXPECT_TRUE(t.FieldByName("FK_NORM_1").IsNull());
  t.Append();  // a new protocol gets the next number
  t.FieldByName("CODE").SetAsString("Tandem");
  t.Post();
  EXPECT_EQ(t.FieldByName("PK_TYPE").AsInteger(), 4);
  t.Append();
  t.FieldByName("CODE").SetAsString("mousse");
  EXPECT_THROW(t.Post(), EngineError);
}

TEST(Sql, ParsesNamesTypesAndSizes) {
  sql::AlterTableAdd a = sql::ParseAlterTableAdd(
      "alter TABLE \"Patient.DB\" add \"Date de visite\" DATE, add column N decimal(12, 2), ADD M blob(20, 1), "
      "Add B BLOB(0,2), add D double precision, add C character varying(9) ;");
  EXPECT_EQ(a.table, "Patient.DB");
  ASSERT_EQ(a.fields.size(), 6u);
  EXPECT_EQ(a.fields[0].name, "Date de visite");
  EXPECT_EQ(a.fields[0].type, FieldType::kDate);
  EXPECT_EQ(a.fields[1].type, FieldType::kBcd);
  EXPECT_EQ(a.fields[1].size, 2);
  EXPECT_EQ(a.fields[2].type, FieldType::kMemo);
  EXPECT_EQ(a.fields[2].size, 20);
  EXPECT_EQ(a.fields[3].type, FieldType::kBlob);
  EXPECT_EQ(a.fields[4].type, FieldType::kNumber);
  EXPECT_EQ(a.fields[5].type, FieldType::kAlpha);
  EXPECT_EQ(a.fields[5].size, 9);
  for (const char* bad : {"", "ALTER", "ALTER TABLE", "ALTER TABLE T", "ALTER TABLE T ADD", "ALTER TABLE T ADD F CHAR(",
                          "ALTER TABLE T ADD F CHAR(0)", "ALTER TABLE T ADD F INTEGER,", "ALTER TABLE T ADD \"F INTEGER",
                          "ALTER TABLE T ADD F DECIMAL(5,33)", "ALTER TABLE T ADD F BLOB(10,3)", "ALTER TABLE T ADD F INTEGER; x"})
    EXPECT_THROW(sql::ParseAlterTableAdd(bad), EngineError) << bad;
}

TEST(Tool, SchemaSubcommands) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/joins", dir.path());
  EXPECT_EQ(tools::SqlCommand({dir.path(), "ALTER TABLE C ADD NOTE CHAR(20)"}), 0);
  EXPECT_EQ(tools::AddIndexCommand({dir / "C.DB", "Par note", "NOTE;A", "--case-insensitive", "--unique"}), 0);
  EXPECT_TRUE(fs::exists(dir / "C.XG0"));
  EXPECT_EQ(tools::AddIndexCommand({dir / "C.DB", "X", "A", "--sorted"}), 2);
  EXPECT_EQ(tools::RenameFieldCommand({dir / "C.DB", "NOTE", "REMARQUE"}), 0);
  EXPECT_EQ(tools::ReindexCommand({dir / "C"}), 0);
  EXPECT_EQ(tools::RenameCommand({dir / "C.DB", "CC"}), 0);
  EXPECT_TRUE(fs::exists(dir / "CC.XG0"));
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "CC").empty());
  EXPECT_EQ(tools::RenameCommand({dir / "CC.DB"}), 2);
  EXPECT_THROW(tools::SqlCommand({dir.path(), "ALTER TABLE C ADD X INTEGER"}), EngineError);  // C is gone
}

}  // namespace
}  // namespace tabulor::db
