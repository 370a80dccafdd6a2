// build/tabulor-mkmdb and the sources it writes for the two Access imports.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/table.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::db::access {
namespace {
using namespace testing;
namespace fs = std::filesystem;

std::string Tool() { return std::string(TABULOR_BUILD_DIR) + "/tabulor-mkmdb"; }

std::vector<ColumnSpec> Texts(std::initializer_list<const char*> names) {
  std::vector<ColumnSpec> specs;
  for (const char* n : names) specs.emplace_back(n, FieldKind::kText);
  return specs;
}

TEST(SequenceFileName, NumberRightAlignedAndSpacesMadeZeros) {
  EXPECT_EQ(mkmdb::SequenceFileName("00012", 7), "00012007.pos");
  EXPECT_EQ(mkmdb::SequenceFileName("00012", 1234), "000121234.pos");
  EXPECT_EQ(mkmdb::SequenceFileName("12 4", 3), "1204003.pos");
}

TEST(MkmdbTool, BalantisDatabaseHasTheFourTablesWithTheirColumns) {
  ScratchDir dir;
  int status = 0;
  RunProgram({Tool(), "--balantis", dir.path().string(), "--patients", "25", "--seed", "5"}, &status);
  ASSERT_EQ(status, 0);
  Connection connection;
  connection.SetConnectionString("Data Source=" + dir.path().string() + "\\Balantis2000.mdb");
  connection.Open();
  Table patients(connection), sequences(connection), exercises(connection), types(connection);
  patients.SetTableName("Patients");
  patients.SetColumns(Texts({"Code_Patient", "Nom_Patient", "Prenom_Patient", "Adresse1_Patient", "Adresse2_Patient",
                             "Ville_Patient", "CodePostal_Patient", "Telephone1_Patient", "Telephone2_Patient",
                             "Sexe_Patient", "Classe_Patient", "Date_Naissance_Patient", "Poids_Patient",
                             "Pointure_Patient", "Taille_Patient", "Commentaire_Patient"}));
  sequences.SetTableName("Sequences");
  sequences.SetColumns(Texts({"Code_Patient", "Num_Sequence", "Type_Sequence", "Frequence_Sequence", "Duree_Sequence",
                              "Date_Sequence", "Heure_Sequence", "Commentaire_Sequence"}));
  exercises.SetTableName("Exercices");
  exercises.SetColumns({{"Code_Patient", FieldKind::kText}, {"Type_Jeu", FieldKind::kText}, {"Code_Jeu", FieldKind::kText},
                        {"Date_Exercice", FieldKind::kDateTime}, {"Heure_Exercice", FieldKind::kDateTime},
                        {"Performance_Exercice", FieldKind::kInteger}, {"Commentaire_Exercice", FieldKind::kText}});
  types.SetTableName("Types");
  std::vector<ColumnSpec> type_columns = Texts({"Code_Type_Acquisition", "Type_Yeux", "Nom_Type_Acquisition",
                                                "Frequence_Type_Acquisition", "Duree_Type_Acquisition"});
  type_columns.emplace_back("Trigger_Start_Acquisition", FieldKind::kInteger);
  type_columns.emplace_back("Trigger_Duree_Acquisition", FieldKind::kInteger);
  for (const char* q : {"Moyen_X", "Moyen_Y", "Surface", "Longueur", "LFS", "Romberg", "Variance", "VFY", "AN02X", "AN02Y"})
    for (const char* bound : {"_Min", "_Max", "_Normal"})
      type_columns.emplace_back(std::string("Type_") + q + bound, FieldKind::kFloat);
  types.SetColumns(type_columns);
  for (Table* t : {&types, &sequences, &exercises, &patients}) t->Open();
  EXPECT_EQ(patients.RecordCount(), 25);

  int without_first_name = 0, without_birth_date = 0, lower_case_class = 0;
  for (patients.First(); !patients.Eof(); patients.Next()) {
    without_first_name += patients.FieldByName("Prenom_Patient").AsString().empty();
    const std::string birth = patients.FieldByName("Date_Naissance_Patient").AsString();
    without_birth_date += birth.empty();
    if (!birth.empty()) {
      EXPECT_EQ(birth.size(), 10u) << birth;
    }
    lower_case_class += patients.FieldByName("Classe_Patient").AsString() == "a";
  }
  EXPECT_GT(without_first_name, 0);
  EXPECT_GT(without_birth_date, 0);
  EXPECT_GT(lower_case_class, 0);

  int all_zero_norms = 0;
  for (types.First(); !types.Eof(); types.Next()) {
    bool zero = true;
    for (size_t c = 7; c < type_columns.size(); ++c) zero &= types.FieldByName(type_columns[c].name).AsFloat() == 0;
    all_zero_norms += zero;
  }
  EXPECT_EQ(all_zero_norms, 1);
  EXPECT_EQ(types.RecordCount(), 4);

  // Each sequence's sample file, named from its code and number, beside the database.
  int found = 0, missing = 0, longer = 0, shorter = 0;
  sequences.SetMaster(nullptr, {}, {});
  for (sequences.First(); !sequences.Eof(); sequences.Next()) {
    const std::string name = mkmdb::SequenceFileName(sequences.FieldByName("Code_Patient").AsString(),
                                                     std::stod(sequences.FieldByName("Num_Sequence").AsString()));
    const fs::path file = dir.path() / "data" / name;
    if (!fs::exists(file)) {
      ++missing;
      continue;
    }
    ++found;
    std::string duration = sequences.FieldByName("Duree_Sequence").AsString();
    std::replace(duration.begin(), duration.end(), ',', '.');
    const long expected = std::lround(std::stod(duration) * std::stoi(sequences.FieldByName("Frequence_Sequence").AsString()));
    std::ifstream in(file);
    long lines = 0;
    for (std::string line; std::getline(in, line); ++lines) EXPECT_NE(line.find(','), std::string::npos);
    longer += lines > expected;
    shorter += lines < expected;
  }
  EXPECT_GT(found, 10);
  EXPECT_GT(missing, 0);
  EXPECT_GT(longer, 0);
  EXPECT_GT(shorter, 0);
}

TEST(MkmdbTool, PedoraPatientFile) {
  ScratchDir dir;
  int status = 0;
  RunProgram({Tool(), "--pedora", dir.File("patients.mdb"), "--patients", "20"}, &status);
  ASSERT_EQ(status, 0);
  const TableData data = ReadThroughLayer(dir.File("patients.mdb"), "Patients");
  const std::vector<std::string> columns = {"PatientID", "Title",  "LastName",         "FirstName",        "DateOfBirth",
                                            "Weight",    "Height", "FootSize",         "Sex",              "Doctor",
                                            "Notes",     "Pathology", "Telephone1Number", "Telephone2Number", "Profession"};
  ASSERT_EQ(data.columns.size(), columns.size());
  for (size_t i = 0; i < columns.size(); ++i) EXPECT_EQ(data.columns[i].name, columns[i]);
  EXPECT_TRUE(data.columns[0].auto_increment);
  EXPECT_EQ(data.columns[10].type, ColumnType::kMemo);
  EXPECT_EQ(data.columns[5].type, ColumnType::kDouble);
  EXPECT_EQ(data.rows.size(), 21u);  // with one person twice
  std::set<std::tuple<std::string, std::string, std::string>> people;
  size_t zero_or_null_weight = 0, longest_note = 0;
  for (const auto& row : data.rows) {
    people.insert({row[2].text, row[3].text, row[4].text});
    zero_or_null_weight += row[5].IsNull() || row[5].number == 0;
    longest_note = std::max(longest_note, row[10].text.size());
  }
  EXPECT_EQ(people.size(), 20u);
  EXPECT_GT(zero_or_null_weight, 0u);
  EXPECT_GT(longest_note, 5000u);  // a note on several long-value pages
  if (SecondReaderAvailable()) {
    EXPECT_TRUE(SameDump(LayerDump(dir.File("patients.mdb"), "Patients"), SecondReaderDump(dir.File("patients.mdb"), "Patients")));
  }
}

TEST(MkmdbTool, BalantisTablesReadTheSameInAllThreeReaders) {
  ScratchDir dir;
  mkmdb::BalantisOptions options;
  options.patients = 60;
  mkmdb::WriteBalantis(dir.path().string(), options);
  const std::string file = dir.File("Balantis2000.mdb");
  for (const char* table : {"Patients", "Sequences", "Exercices", "Types"}) {
    SCOPED_TRACE(table);
    const TableData ours = ReadThroughLayer(file, table);
    const auto theirs = MdbExportRows(file, table);
    ASSERT_EQ(theirs.size(), ours.rows.size());
    for (size_t r = 0; r < theirs.size(); ++r) {
      for (size_t c = 0; c < ours.columns.size(); ++c) {
        EXPECT_TRUE(SameExportedValue(ExportForm(ours.rows[r][c], ours.columns[c]), theirs[r][c], ours.columns[c]))
            << "row " << r << " column " << ours.columns[c].name;
      }
    }
    if (SecondReaderAvailable()) {
      EXPECT_TRUE(SameDump(LayerDump(file, table), SecondReaderDump(file, table)));
    }
  }
}

// --password: both kinds of source come out protected. libmdb reads each as
// the same file written without a password reads through the layer; the
// layer refuses it with the reason.
TEST(MkmdbTool, PasswordProtectedSourcesAreRefused) {
  ScratchDir dir;
  const fs::path open = dir.path() / "open", closed = dir.path() / "protected";
  const std::vector<std::vector<std::string>> runs = {
      {"--balantis", open.string()},
      {"--balantis", closed.string(), "--password", "Clé 2023"},
      {"--pedora", dir.File("open.mdb")},
      {"--pedora", dir.File("protected.mdb"), "--password", "secret"}};
  for (std::vector<std::string> args : runs) {
    args.insert(args.begin(), Tool());
    args.insert(args.end(), {"--patients", "8", "--seed", "3"});
    int status = 0;
    RunProgram(args, &status);
    ASSERT_EQ(status, 0) << args[1];
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {(open / "Balantis2000.mdb").string(), (closed / "Balantis2000.mdb").string()},
      {dir.File("open.mdb"), dir.File("protected.mdb")}};
  for (const auto& [readable, protected_file] : files) {
    SCOPED_TRACE(protected_file);
    const TableData ours = ReadThroughLayer(readable, "Patients");
    const auto theirs = MdbExportRows(protected_file, "Patients");
    ASSERT_EQ(theirs.size(), ours.rows.size());
    EXPECT_GE(theirs.size(), 8u);
    for (size_t r = 0; r < theirs.size(); ++r)
      for (size_t c = 0; c < ours.columns.size(); ++c)
        EXPECT_TRUE(SameExportedValue(ExportForm(ours.rows[r][c], ours.columns[c]), theirs[r][c], ours.columns[c]))
            << "row " << r << " column " << ours.columns[c].name;
    Connection connection;
    connection.SetConnectionString("Data Source=" + protected_file);
    try {
      connection.Open();
      ADD_FAILURE() << "opened";
    } catch (const AccessError& e) {
      EXPECT_EQ(e.what(), "Lecture de " + protected_file + " impossible : la base de données " + protected_file +
                              " est protégée par un mot de passe");
    }
    EXPECT_FALSE(connection.IsOpen());
  }
}

TEST(MkmdbTool, RefusesBadArguments) {
  int status = 0;
  RunProgram({Tool()}, &status);
  EXPECT_EQ(status, 2);
  RunProgram({Tool(), "--balantis", "/tmp/x", "--pedora", "/tmp/y.mdb"}, &status);
  EXPECT_EQ(status, 2);
  RunProgram({Tool(), "--pedora", "/tmp/y.mdb", "--patients", "-3"}, &status);
  EXPECT_EQ(status, 2);
  RunProgram({Tool(), "--pedora", "/nonexistent/dir/y.mdb"}, &status);
  EXPECT_EQ(status, 1);
  ScratchDir dir;
  RunProgram({Tool(), "--pedora", dir.File("y.mdb"), "--password", ""}, &status);
  EXPECT_EQ(status, 2);
  RunProgram({Tool(), "--pedora", dir.File("y.mdb"), "--password", std::string(21, 'p')}, &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace tabulor::db::access
