// Tables on a connection: column lists, master and detail links, navigation
// and reading values in the type the caller asks for.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/formats.h"
#include "db/access/table.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/fixtures.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;
using mkmdb::Jet4Table;
using mkmdb::Jet4Type;
using mkmdb::Jet4Value;

std::string Connect(const std::string& directory, const std::string& file) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + directory + "\\" + file + ";Persist Security Info=False";
}

// Small hand-made tables whose links are easy to follow.
class LinkedTables : public ::testing::Test {
 protected:
  void SetUp() override {
    Jet4Table patients{"Patients", {{"Code_Patient", Jet4Type::kText, 5}, {"Nom_Patient", Jet4Type::kText, 30}}, {}};
    patients.rows = {{std::string("00003"), std::string("Martin")},
                     {std::string("00001"), std::string("Durand")},
                     {std::string("00002"), std::string("Petit")},
                     {Jet4Value{}, std::string("Sans code")}};
    Jet4Table sequences{"Sequences",
                        {{"Code_Patient", Jet4Type::kText, 5}, {"Num_Sequence", Jet4Type::kText, 50},
                         {"Type_Sequence", Jet4Type::kText, 30}},
                        {}};
    sequences.rows = {{std::string("00001"), std::string("2"), std::string("YO")},
                      {std::string("00003"), std::string("1"), std::string("YF")},
                      {std::string("00001"), std::string("1"), std::string("yo")},
                      {Jet4Value{}, std::string("9"), std::string("YO")},
                      {std::string("00001"), std::string("3"), std::string("ABSENT")}};
    Jet4Table types{"Types",
                    {{"Code_Type_Acquisition", Jet4Type::kText, 30}, {"Trigger_Start_Acquisition", Jet4Type::kLong},
                     {"Type_Surface_Min", Jet4Type::kDouble}},
                    {}};
    types.rows = {{std::string("YO"), int32_t{3}, 1.5}, {std::string("YF"), int32_t{4}, 2.5}};
    mkmdb::WriteJet4Database(dir_.File("Balantis2000.mdb"), {patients, sequences, types});
    connection_.SetConnectionString(Connect(dir_.path().string(), "Balantis2000.mdb"));
    connection_.Open();
    patients_.SetTableName("Patients");
    sequences_.SetTableName("Sequences");
    sequences_.SetMaster(&patients_, "Code_Patient", "Code_Patient");
    types_.SetTableName("Types");
    types_.SetMaster(&sequences_, "Type_Sequence", "Code_Type_Acquisition");
  }

  std::vector<std::string> Column(Table& table, const std::string& column) {
    std::vector<std::string> values;
    for (table.First(); !table.Eof(); table.Next()) values.push_back(table.FieldByName(column).AsString());
    return values;
  }

  ScratchDir dir_;
  Connection connection_;
  Table patients_{connection_};
  Table sequences_{connection_};
  Table types_{connection_};
};

TEST_F(LinkedTables, DetailOpenedBeforeItsMasterShowsTheWholeTableSortedOnItsKey) {
  sequences_.Open();
  EXPECT_EQ(sequences_.RecordCount(), 5);
  // Null keys first, then in key order, rows of one key in file order.
  EXPECT_EQ(Column(sequences_, "Num_Sequence"), (std::vector<std::string>{"9", "2", "1", "3", "1"}));
}

TEST_F(LinkedTables, DetailFollowsEveryMoveOfItsMaster) {
  types_.Open();
  sequences_.Open();
  patients_.Open();
  std::map<std::string, std::vector<std::string>> seen;
  for (patients_.First(); !patients_.Eof(); patients_.Next()) {
    const std::string name = patients_.FieldByName("Nom_Patient").AsString();
    for (sequences_.First(); !sequences_.Eof(); sequences_.Next()) {
      EXPECT_EQ(sequences_.FieldByName("Code_Patient").AsString(), patients_.FieldByName("Code_Patient").AsString());
      seen[name].push_back(sequences_.FieldByName("Num_Sequence").AsString());
    }
  }
  EXPECT_EQ(seen["Durand"], (std::vector<std::string>{"2", "1", "3"}));
  EXPECT_EQ(seen["Martin"], (std::vector<std::string>{"1"}));
  EXPECT_TRUE(seen["Petit"].empty());
  EXPECT_TRUE(seen["Sans code"].empty());  // a null key matches nothing, not the null-keyed sequence
}

TEST_F(LinkedTables, ChainedDetailFollowsItsMasterAndReadsEmptyWithoutARow) {
  types_.Open();
  sequences_.Open();
  patients_.Open();
  patients_.First();
  patients_.Next();  // Durand: sequences 2 (YO), 1 (yo), 3 (ABSENT)
  std::vector<int> counts;
  std::vector<int32_t> triggers;
  for (sequences_.First(); !sequences_.Eof(); sequences_.Next()) {
    counts.push_back(types_.RecordCount());
    triggers.push_back(types_.FieldByName("Trigger_Start_Acquisition").AsInteger());
  }
  // Keys compare as Jet compares text: without regard to case.
  EXPECT_EQ(counts, (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(triggers, (std::vector<int32_t>{3, 3, 0}));
  EXPECT_TRUE(types_.Eof());
  EXPECT_EQ(types_.FieldByName("Code_Type_Acquisition").AsString(), "");
  EXPECT_EQ(types_.FieldByName("Type_Surface_Min").AsFloat(), 0.0);
}

TEST_F(LinkedTables, ClosingTheMasterShowsTheWholeDetailAgain) {
  sequences_.Open();
  patients_.Open();
  EXPECT_EQ(sequences_.RecordCount(), 1);  // Martin, the first patient
  patients_.Close();
  EXPECT_EQ(sequences_.RecordCount(), 5);
  sequences_.SetMaster(nullptr, {}, {});
  patients_.Open();
  EXPECT_EQ(sequences_.RecordCount(), 5);
}

TEST_F(LinkedTables, NextAtTheEndKeepsTheLastRowCurrent) {
  patients_.Open();
  ASSERT_EQ(patients_.RecordCount(), 4);
  for (int i = 0; i < 3; ++i) patients_.Next();
  EXPECT_FALSE(patients_.Eof());
  patients_.Next();
  EXPECT_TRUE(patients_.Eof());
  EXPECT_EQ(patients_.FieldByName("Nom_Patient").AsString(), "Sans code");
  patients_.First();
  EXPECT_EQ(patients_.FieldByName("Nom_Patient").AsString(), "Martin");
}

TEST_F(LinkedTables, ClosingTheConnectionClosesItsTables) {
  patients_.Open();
  sequences_.Open();
  connection_.Close();
  EXPECT_FALSE(patients_.IsOpen());
  EXPECT_FALSE(sequences_.IsOpen());
  EXPECT_THROW(patients_.Open(), AccessError);
  connection_.Open();
  patients_.Open();
  EXPECT_EQ(patients_.RecordCount(), 4);
}

TEST_F(LinkedTables, MasterDestroyedBeforeItsDetail) {
  auto master = std::make_unique<Table>(connection_);
  master->SetTableName("Patients");
  sequences_.SetMaster(master.get(), "Code_Patient", "Code_Patient");
  master->Open();
  sequences_.Open();
  EXPECT_EQ(sequences_.RecordCount(), 1);
  master.reset();
  sequences_.First();
  EXPECT_EQ(sequences_.RecordCount(), 1);  // stays as it was until reopened
  sequences_.Close();
  sequences_.Open();
  EXPECT_EQ(sequences_.RecordCount(), 5);
}

// Tables far larger than one write or read of the rows' temporary file: every
// value comes back exact, the detail stored out of key order is sorted
// stably, and a master walked in any order sees exactly its own rows.
TEST(LargeLinkedTables, EveryRowComesBackThroughTheTemporaryFile) {
  constexpr int kPatients = 1500;
  constexpr int kPerPatient = 4;
  auto code = [](int p) {
    char text[8];
    std::snprintf(text, sizeof text, "%05d", p);
    return std::string(text);
  };
  auto note = [](int p, int s) { return std::string(300 + (p * 7 + s) % 500, static_cast<char>('a' + (p + s) % 26)) + "é"; };
  Jet4Table patients{"Patients", {{"Code_Patient", Jet4Type::kText, 5}, {"Rang", Jet4Type::kLong}}, {}};
  for (int i = 0; i < kPatients; ++i) {
    const int p = (i * 577) % kPatients;  // neither the stored nor the key order
    patients.rows.push_back({code(p), int32_t{p}});
  }
  Jet4Table sequences{"Sequences",
                      {{"Code_Patient", Jet4Type::kText, 5}, {"Num", Jet4Type::kLong}, {"Note", Jet4Type::kMemo}},
                      {}};
  for (int s = 0; s < kPerPatient; ++s)  // each patient's sequences spread over the whole table
    for (int p = kPatients - 1; p >= 0; --p) sequences.rows.push_back({code(p), int32_t{s}, note(p, s)});
  ScratchDir dir;
  mkmdb::WriteJet4Database(dir.File("Big.mdb"), {patients, sequences});
  Connection connection;
  connection.SetConnectionString(Connect(dir.path().string(), "Big.mdb"));
  connection.Open();
  Table master(connection), detail(connection);
  master.SetTableName("Patients");
  detail.SetTableName("Sequences");
  detail.SetMaster(&master, "Code_Patient", "Code_Patient");
  detail.Open();
  ASSERT_EQ(detail.RecordCount(), kPatients * kPerPatient);
  int row = 0;
  for (detail.First(); !detail.Eof(); detail.Next(), ++row) {
    const int p = row / kPerPatient, s = row % kPerPatient;  // sorted on the key, then in stored order
    ASSERT_EQ(detail.FieldByName("Code_Patient").AsString(), code(p)) << row;
    ASSERT_EQ(detail.FieldByName("Num").AsInteger(), s) << row;
    ASSERT_EQ(detail.FieldByName("Note").AsString(), note(p, s)) << row;
  }
  EXPECT_EQ(row, kPatients * kPerPatient);
  master.Open();
  ASSERT_EQ(master.RecordCount(), kPatients);
  int walked = 0;
  for (master.First(); !master.Eof(); master.Next(), ++walked) {
    const int p = master.FieldByName("Rang").AsInteger();
    ASSERT_EQ(p, (walked * 577) % kPatients);
    ASSERT_EQ(detail.RecordCount(), kPerPatient) << p;
    int s = 0;
    for (; !detail.Eof(); detail.Next(), ++s) {
      ASSERT_EQ(detail.FieldByName("Code_Patient").AsString(), code(p));
      ASSERT_EQ(detail.FieldByName("Num").AsInteger(), s);
      ASSERT_EQ(detail.FieldByName("Note").AsString(), note(p, s));
    }
    EXPECT_EQ(s, kPerPatient);
  }
  EXPECT_EQ(walked, kPatients);
}

TEST_F(LinkedTables, LinkErrors) {
  EXPECT_THROW(patients_.SetMaster(&types_, "Code_Type_Acquisition", "Code_Patient"), AccessError);  // a cycle
  Table orphan(connection_);
  orphan.SetTableName("Sequences");
  orphan.SetMaster(&patients_, "Code_Patient", "Nope");
  try {
    orphan.Open();
    FAIL() << "a missing key column must fail";
  } catch (const AccessError& e) {
    EXPECT_NE(std::string(e.what()).find("'Nope'"), std::string::npos) << e.what();
  }
}

TEST_F(LinkedTables, ListedColumnsMustExistWithTheirKind) {
  patients_.SetColumns({"Code_Patient", "Prenom_Patient", "Ville_Patient"});
  try {
    patients_.Open();
    FAIL() << "missing columns must fail";
  } catch (const AccessError& e) {
    EXPECT_EQ(std::string(e.what()), "Champ 'Prenom_Patient' introuvable dans la table Patients");
  }
  EXPECT_FALSE(patients_.IsOpen());
  types_.SetColumns({{"Code_Type_Acquisition", FieldKind::kText}, {"Type_Surface_Min", FieldKind::kInteger}});
  try {
    types_.Open();
    FAIL() << "a column of another kind must fail";
  } catch (const AccessError& e) {
    EXPECT_NE(std::string(e.what()).find("Type_Surface_Min"), std::string::npos) << e.what();
  }
  types_.SetColumns({{"code_type_acquisition", FieldKind::kText}, {"Trigger_Start_Acquisition", FieldKind::kInteger},
                     {"Type_Surface_Min", FieldKind::kFloat}});
  types_.Open();
  EXPECT_NO_THROW(types_.FieldByName("TRIGGER_START_ACQUISITION"));
  EXPECT_THROW(types_.FieldByName("Nom_Type_Acquisition"), AccessError);  // not listed
}

TEST_F(LinkedTables, TableThatDoesNotExist) {
  Table missing(connection_);
  missing.SetTableName("Exercices");
  EXPECT_THROW(missing.Open(), AccessError);
  EXPECT_EQ(connection_.TableNames(), (std::vector<std::string>{"Patients", "Sequences", "Types"}));
}

// Reading values: texts converted with the process-wide formats.
class FieldValues : public ::testing::Test {
 protected:
  void SetUp() override {
    Jet4Table t{"Values",
                {{"Text", Jet4Type::kText, 50},
                 {"When", Jet4Type::kDateTime},
                 {"Count", Jet4Type::kLong},
                 {"Ratio", Jet4Type::kDouble},
                 {"Notes", Jet4Type::kMemo}},
                {}};
    t.rows = {{std::string("21/09/74"), db::DateTime{2005, 3, 4, 0, 0, 0, 0}, int32_t{-12}, 2.5, std::string("m")},
              {std::string("2,5"), db::DateTime{1899, 12, 30, 14, 5, 9, 0}, int32_t{7}, 0.5, Jet4Value{}},
              {std::string("abc"), db::DateTime{2005, 3, 4, 8, 30, 0, 0}, Jet4Value{}, 1.5, std::string()},
              {Jet4Value{}, Jet4Value{}, int32_t{1}, -2.5, std::string("x")},
              {std::string(), Jet4Value{}, int32_t{1}, 1e20, Jet4Value{}}};
    mkmdb::WriteJet4Database(dir_.File("values.mdb"), {t});
    connection_.SetConnectionString("Data Source=" + dir_.File("values.mdb"));
    connection_.Open();
    table_.SetTableName("Values");
    table_.Open();
    saved_ = CurrentAccessFormats();
    AccessFormats formats;
    formats.short_date_format = "dd/mm/yy";
    formats.decimal_separator = ',';
    SetAccessFormats(formats);
  }
  void TearDown() override { SetAccessFormats(saved_); }
  void Row(int n) {
    table_.First();
    for (int i = 0; i < n; ++i) table_.Next();
  }
  Field F(const char* name) { return table_.FieldByName(name); }

  ScratchDir dir_;
  Connection connection_;
  Table table_{connection_};
  AccessFormats saved_;
};

TEST_F(FieldValues, TextReadAsDateOrNumber) {
  Row(0);
  // Two-digit years fall in the hundred years from 50 years before the current one, as the platform reads them.
  const int year = F("Text").AsDateTime().year;
  EXPECT_EQ(year, db::DateTime::Now().year - 50 <= 1974 ? 1974 : 2074);
  Row(1);
  EXPECT_EQ(F("Text").AsFloat(), 2.5);
  EXPECT_THROW(F("Text").AsInteger(), AccessError);
  Row(2);
  try {
    F("Text").AsDateTime();
    FAIL();
  } catch (const AccessError& e) {
    EXPECT_NE(std::string(e.what()).find("'abc'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(F("Text").AsFloat(), AccessError);
  Row(3);  // null text: empty, and not a number
  EXPECT_TRUE(F("Text").IsNull());
  EXPECT_EQ(F("Text").AsString(), "");
  EXPECT_THROW(F("Text").AsFloat(), AccessError);
  Row(4);
  EXPECT_FALSE(F("Text").IsNull());
  EXPECT_EQ(F("Text").AsString(), "");
}

TEST_F(FieldValues, DateTimeReadAsText) {
  Row(0);
  EXPECT_EQ(F("When").AsString(), "04/03/05");  // midnight: the date alone
  Row(1);
  EXPECT_EQ(F("When").AsString(), "30/12/99 14:05:09");
  EXPECT_EQ(F("When").AsDateTime().MillisecondsOfDay(), (14 * 3600 + 5 * 60 + 9) * 1000);
  Row(2);
  EXPECT_EQ(F("When").AsString(), "04/03/05 08:30:00");
  AccessFormats formats = CurrentAccessFormats();
  formats.short_date_format = "dd/mm/yyyy";
  SetAccessFormats(formats);
  EXPECT_EQ(F("When").AsString(), "04/03/2005 08:30:00");
  Row(3);
  EXPECT_EQ(F("When").AsString(), "");
  EXPECT_FALSE(F("When").AsDateTime().HasDate());
}

TEST_F(FieldValues, NumbersInEveryType) {
  Row(0);
  EXPECT_EQ(F("Count").AsInteger(), -12);
  EXPECT_EQ(F("Count").AsString(), "-12");
  EXPECT_EQ(F("Count").AsFloat(), -12.0);
  EXPECT_EQ(F("Ratio").AsString(), "2,5");
  EXPECT_EQ(F("Ratio").AsInteger(), 2);  // halves to even
  Row(2);
  EXPECT_EQ(F("Count").AsInteger(), 0);
  EXPECT_EQ(F("Count").AsString(), "");
  EXPECT_EQ(F("Ratio").AsInteger(), 2);
  Row(3);
  EXPECT_EQ(F("Ratio").AsInteger(), -2);
  Row(4);
  EXPECT_EQ(F("Ratio").AsString(), "1E20");
  EXPECT_THROW(F("Ratio").AsInteger(), AccessError);
}

TEST_F(FieldValues, MemoNullAndEmptyStayApart) {
  Row(1);
  EXPECT_TRUE(F("Notes").IsNull());
  Row(2);
  EXPECT_FALSE(F("Notes").IsNull());
  EXPECT_EQ(F("Notes").AsString(), "");
}

// The Balantis fixture through the links the Access import uses.
TEST(BalantisSource, OpensAsTheImportOpensIt) {
  ScratchDir dir;
  mkmdb::BalantisOptions options;
  options.patients = 40;
  options.seed = 7;
  mkmdb::WriteBalantis(dir.path().string(), options);
  Connection connection;
  connection.SetConnectionString(Connect(dir.path().string(), "Balantis2000.mdb"));
  connection.Open();
  Table patients(connection), sequences(connection), exercises(connection), types(connection);
  patients.SetTableName("Patients");
  sequences.SetTableName("Sequences");
  sequences.SetMaster(&patients, "Code_Patient", "Code_Patient");
  exercises.SetTableName("Exercices");
  exercises.SetMaster(&patients, "Code_Patient", "Code_Patient");
  types.SetTableName("Types");
  types.SetMaster(&sequences, "Type_Sequence", "Code_Type_Acquisition");
  exercises.SetColumns({{"Code_Patient", FieldKind::kText}, {"Type_Jeu", FieldKind::kText},
                        {"Code_Jeu", FieldKind::kText}, {"Date_Exercice", FieldKind::kDateTime},
                        {"Heure_Exercice", FieldKind::kDateTime}, {"Performance_Exercice", FieldKind::kInteger},
                        {"Commentaire_Exercice", FieldKind::kText}});
  // Types, Sequences and Exercices first: their counts are whole-table counts.
  types.Open();
  EXPECT_EQ(types.RecordCount(), 4);
  sequences.Open();
  const int all_sequences = sequences.RecordCount();
  exercises.Open();
  const int all_exercises = exercises.RecordCount();
  EXPECT_LE(types.RecordCount(), 1);  // now following the first sequence
  patients.Open();
  EXPECT_EQ(patients.RecordCount(), 40);
  int sequence_rows = 0, exercise_rows = 0, sequences_without_type = 0;
  for (patients.First(); !patients.Eof(); patients.Next()) {
    for (sequences.First(); !sequences.Eof(); sequences.Next()) {
      ++sequence_rows;
      if (types.RecordCount() == 0) ++sequences_without_type;
      else EXPECT_EQ(types.FieldByName("Code_Type_Acquisition").AsString(), sequences.FieldByName("Type_Sequence").AsString());
    }
    for (exercises.First(); !exercises.Eof(); exercises.Next()) ++exercise_rows;
  }
  EXPECT_EQ(sequence_rows, all_sequences);
  EXPECT_EQ(exercise_rows, all_exercises);
  EXPECT_GT(sequences_without_type, 0);
}

}  // namespace
}  // namespace tabulor::db::access
