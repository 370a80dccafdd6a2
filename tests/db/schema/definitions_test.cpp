// The table definitions against the documented layout of the practice
// database, and the layouts of the older versions.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <stdexcept>

#include "db/schema/layout.h"
#include "db/schema/tables.h"
#include "db/schema/version.h"

namespace tabulor::schema {
namespace {

using db::FieldType;

// Copies, so that lookups into a temporary definition stay valid.
std::optional<db::FieldDef> Find(const db::TableDef& def, std::string_view name) {
  for (const db::FieldDef& field : def.fields)
    if (SameName(field.name, name)) return field;
  return std::nullopt;
}

std::optional<db::IndexDef> FindIndex(const db::TableDef& def, std::string_view name) {
  for (const db::IndexDef& index : def.indexes)
    if (SameName(index.name, name)) return index;
  return std::nullopt;
}

db::TableDef Current(std::string_view table) { return DefinitionAt(PracticeTable(table), kCurrentVersion); }

TEST(Definitions, TablesHaveTheirFieldCountsAndKeys) {
  const std::vector<std::pair<std::string, size_t>> counts = {
      {"Patient", 27}, {"Examen", 18}, {"Mesure", 16}, {"Data", 18}, {"Posturo", 13}, {"Jeu", 12},
      {"Norme", 32},   {"Type", 14},   {"Users", 4},   {"Path", 2},  {"Pres", 7},     {"Prof", 2},
      {"Bilan", 49},   {"Docs", 6},    {"Version", 2}};
  for (const auto& [table, count] : counts) {
    const db::TableDef def = Current(table);
    EXPECT_EQ(def.fields.size(), count) << table;
    EXPECT_EQ(def.key_field_count, 1) << table;
  }
  EXPECT_EQ(Current("Patient").fields[0].name, "PK_PAT");
  EXPECT_EQ(Current("Patient").fields[0].type, FieldType::kAutoInc);
  EXPECT_EQ(Current("Version").fields[0].name, "NomTable");
  EXPECT_EQ(Current("Version").fields[0].size, 32);
  EXPECT_EQ(Current("Clefs").fields[0].name, "Nom");
}

TEST(Definitions, FieldTypesAndSizesAreThoseOfTheLayout) {
  struct Expect {
    const char* table;
    const char* field;
    FieldType type;
    int size;
  };
  const Expect expected[] = {
      {"Patient", "NOTE", FieldType::kMemo, 240}, {"Patient", "SEXE", FieldType::kAlpha, 1},
      {"Patient", "POINTURE", FieldType::kAlpha, 6}, {"Patient", "DATE_PAT", FieldType::kDate, 0},
      {"Examen", "FichierDataDos", FieldType::kAlpha, 12}, {"Examen", "NOTE", FieldType::kMemo, 50},
      {"Mesure", "HEURE", FieldType::kTime, 0}, {"Mesure", "DUREE", FieldType::kNumber, 0},
      {"Mesure", "DIAGONALE", FieldType::kLogical, 0}, {"Mesure", "Video_Left", FieldType::kAlpha, 64},
      {"Data", "TypeAcq", FieldType::kShort, 0}, {"Data", "ID_Pla", FieldType::kLong, 0},
      {"Data", "Data", FieldType::kBlob, 10}, {"Data", "Zipped", FieldType::kLong, 0},
      {"Posturo", "TypeAcq", FieldType::kLong, 0}, {"Posturo", "ID_Pla", FieldType::kShort, 0},
      {"Posturo", "Situation", FieldType::kAlpha, 10}, {"Jeu", "DATE_JEU", FieldType::kAlpha, 10},
      {"Jeu", "SURFACE", FieldType::kBlob, 10}, {"Norme", "AN02Y_Moy", FieldType::kNumber, 0},
      {"Type", "NB_MESURES", FieldType::kShort, 0}, {"Type", "PRESSIONS", FieldType::kLogical, 0},
      {"Users", "EXPIRE_DATE", FieldType::kDate, 0}, {"Clefs", "Adresse", FieldType::kAlpha, 255},
      {"Clefs", "Nom", FieldType::kAlpha, 120}, {"Bilan", "POINTURE", FieldType::kShort, 0},
      {"Docs", "CHEMIN", FieldType::kAlpha, 255}, {"Version", "Version", FieldType::kNumber, 0},
  };
  for (const Expect& e : expected) {
    const auto field = Find(Current(e.table), e.field);
    ASSERT_TRUE(field.has_value()) << e.table << "." << e.field;
    EXPECT_EQ(field->type, e.type) << e.table << "." << e.field;
    if (e.size) {
      EXPECT_EQ(field->size, e.size) << e.table << "." << e.field;
    }
  }
}

TEST(Definitions, AssessmentFieldsKeepTheirReferenceOrder) {
  // The Paradox import copies these rows position by position.
  const db::TableDef bilan = Current("Bilan");
  const std::vector<std::pair<size_t, std::string>> positions = {
      {0, "PK_BIL"}, {2, "INTERRO"}, {7, "ARPQ_G"}, {15, "GENOU_Q"}, {27, "POINTURE"},
      {31, "DETAIL"}, {33, "USURE_AI_G"}, {41, "CHAUSS_SPORT"}, {48, "DETAIL_AUTRE"}};
  for (const auto& [position, name] : positions) EXPECT_EQ(bilan.fields.at(position).name, name);
  const db::TableDef norme = Current("Norme");
  EXPECT_EQ(norme.fields[2].name, "SURF_Min");
  EXPECT_EQ(norme.fields[31].name, "AN02Y_Moy");
}

TEST(Definitions, NamedIndexesHaveTheirFieldsAndOptions) {
  struct Expect {
    const char* table;
    const char* index;
    std::vector<std::string> fields;
    bool unique, case_insensitive;
  };
  const Expect expected[] = {
      {"Patient", "Patient_Existant", {"NOM", "PRENOM", "BIRTHDT"}, false, false},
      {"Examen", "FK_PAT", {"FK_PAT"}, false, false},
      {"Mesure", "FK_EXA", {"FK_EXA"}, false, false},
      {"Jeu", "IDJeu", {"FK_PAT", "DATE_JEU", "TIME"}, true, true},
      {"Jeu", "IDNiveau", {"FK_PAT", "NIVEAU"}, false, true},
      {"Jeu", "FK_PAT", {"FK_PAT"}, false, false},
      {"Users", "Utilisateur existant", {"NOM"}, false, true},
      {"Path", "Pathologie existante", {"NOM"}, false, true},
      {"Pres", "Prescripteur existant", {"NOM", "PRENOM"}, false, true},
      {"Prof", "Profession existante", {"Nom"}, false, true},
      {"Norme", "Norme existante", {"NOM"}, false, true},
      {"Type", "Protocole existant", {"CODE"}, true, true},
      {"Bilan", "FK_EXA", {"FK_EXA"}, false, false},
      {"Docs", "FK_PAT", {"FK_PAT"}, false, false},
  };
  for (const Expect& e : expected) {
    const auto index = FindIndex(Current(e.table), e.index);
    ASSERT_TRUE(index.has_value()) << e.table << " " << e.index;
    EXPECT_EQ(index->fields, e.fields) << e.index;
    EXPECT_EQ(index->unique, e.unique) << e.index;
    EXPECT_EQ(index->case_insensitive, e.case_insensitive) << e.index;
  }
  // Selected by name only; they must exist and lead with the owner's key.
  ASSERT_TRUE(FindIndex(Current("Examen"), "IDDate").has_value());
  ASSERT_TRUE(FindIndex(Current("Mesure"), "IDHeure").has_value());
  EXPECT_EQ(FindIndex(Current("Mesure"), "IDHeure")->fields.front(), "FK_EXA");
}

TEST(Definitions, EveryIndexAndRelationNamesExistingFields) {
  for (const TableSchema& table : PracticeTables()) {
    for (int version : kKnownVersions) {
      const db::TableDef def = DefinitionAt(table, version);
      std::set<std::string> index_names;
      for (const db::IndexDef& index : def.indexes) {
        EXPECT_TRUE(index_names.insert(index.name).second) << table.name << " " << index.name;
        for (const std::string& field : index.fields)
          EXPECT_TRUE(Find(def, field).has_value()) << table.name << " index " << index.name << " field " << field
                                               << " at " << FormatVersion(version);
      }
      for (const db::FieldDef& field : def.fields) EXPECT_LE(field.name.size(), 25u) << field.name;
    }
  }
  for (const Relation& relation : Relations()) {
    EXPECT_TRUE(Find(Current(relation.table), relation.field).has_value()) << relation.table << "." << relation.field;
    EXPECT_TRUE(Find(Current(relation.target_table), relation.target_field).has_value())
        << relation.target_table << "." << relation.target_field;
  }
}

TEST(Definitions, TablesAreFoundByBareFileOrFormerNameInAnyCase) {
  EXPECT_EQ(PracticeTable("data.db").name, "Data");
  EXPECT_EQ(PracticeTable("DATA").name, "Data");
  EXPECT_EQ(PracticeTable("User").name, "Users");
  EXPECT_EQ(PracticeTable("Users.DB").name, "Users");
  EXPECT_EQ(FindPracticeTable("Missing"), nullptr);
  EXPECT_THROW(PracticeTable("Missing.db"), std::invalid_argument);
  ASSERT_NE(PracticeTable("Data").FindField("ZIPPED"), nullptr);
  EXPECT_TRUE(SameName("FK_Dat", "FK_DAT"));
  EXPECT_FALSE(SameName("FK_DAT", "FK_DA"));
}

TEST(OlderLayouts, BeforeVersionTwoTheDateFieldsAndTheUserTableHaveTheirOldNames) {
  const db::TableDef patient = DefinitionAt(PracticeTable("Patient"), 100);
  EXPECT_TRUE(Find(patient, "DATE").has_value());
  EXPECT_FALSE(Find(patient, "DATE_PAT").has_value());
  EXPECT_TRUE(Find(patient, "CLASSE").has_value());
  EXPECT_FALSE(Find(DefinitionAt(PracticeTable("Patient"), 0), "CLASSE").has_value());
  // The examination index follows the renamed date field.
  const db::TableDef exam = DefinitionAt(PracticeTable("Examen"), 100);
  EXPECT_EQ(FindIndex(exam, "IDDate")->fields, (std::vector<std::string>{"FK_PAT", "DATE"}));
  EXPECT_EQ(TableNameAt(PracticeTable("Users"), 100), "User");
  EXPECT_EQ(TableNameAt(PracticeTable("Users"), 200), "Users");
  EXPECT_EQ(DefinitionAt(PracticeTable("Users"), 100).fields.size(), 2u);
}

TEST(OlderLayouts, IndexesAppearWithTheirSteps) {
  EXPECT_FALSE(FindIndex(DefinitionAt(PracticeTable("Jeu"), 200), "IDJeu").has_value());
  EXPECT_TRUE(FindIndex(DefinitionAt(PracticeTable("Jeu"), 210), "IDJeu").has_value());
  EXPECT_TRUE(FindIndex(DefinitionAt(PracticeTable("Jeu"), 0), "FK_PAT").has_value());
  EXPECT_FALSE(FindIndex(DefinitionAt(PracticeTable("Type"), 100), "Protocole existant")->unique);
  EXPECT_TRUE(FindIndex(DefinitionAt(PracticeTable("Type"), 200), "Protocole existant")->unique);
  EXPECT_EQ(DefinitionAt(PracticeTable("Ville"), 210).key_field_count, 0);
  EXPECT_EQ(DefinitionAt(PracticeTable("Ville"), 230).key_field_count, 1);
}

TEST(CompareDefinitions, ReportsEveryKindOfDifferenceAndIgnoresCaseAndOrder) {
  const db::TableDef expected = Current("Users");
  db::TableDef same = expected;
  std::swap(same.fields[2], same.fields[3]);
  same.fields[1].name = "nom";
  same.indexes[0].name = "UTILISATEUR EXISTANT";
  EXPECT_TRUE(CompareDefinitions(same, expected).empty());

  db::TableDef changed = expected;
  changed.fields[1].size = 20;                                   // NOM A(20)
  changed.fields[3].type = FieldType::kTime;                     // EXPIRE_DATE T
  changed.fields.erase(changed.fields.begin() + 2);              // no PASS_WD
  changed.fields.push_back({"EXTRA", FieldType::kLong, 0});
  changed.indexes[0].case_insensitive = false;
  changed.indexes.push_back({"Other", {"NOM"}});
  const auto differences = CompareDefinitions(changed, expected);
  ASSERT_EQ(differences.size(), 6u);
  EXPECT_EQ(differences[0], "field NOM is A(20), expected A(30)");
  EXPECT_EQ(differences[1], "missing field PASS_WD A(30)");
  EXPECT_EQ(differences[2], "field EXPIRE_DATE is T, expected D");
  EXPECT_EQ(differences[3], "unexpected field EXTRA I");
  EXPECT_NE(differences[4].find("Utilisateur existant"), std::string::npos);
  EXPECT_EQ(differences[5], "unexpected index \"Other\" (NOM)");

  db::TableDef unkeyed = expected;
  unkeyed.key_field_count = 0;
  EXPECT_EQ(CompareDefinitions(unkeyed, expected).front(), "primary key of 0 field(s), expected 1");
}

TEST(Versions, ParseAndFormat) {
  EXPECT_EQ(ParseVersion("2.8"), 280);
  EXPECT_EQ(ParseVersion("2,1"), 210);
  EXPECT_EQ(ParseVersion("2"), 200);
  EXPECT_EQ(ParseVersion("0"), 0);
  EXPECT_EQ(ParseVersion("2.10"), 210);
  EXPECT_EQ(ParseVersion("2.05"), 205);
  for (const char* bad : {"", "2.", ".5", "x", "2.8.1", "2.a", "-1", "123"})
    EXPECT_FALSE(ParseVersion(bad).has_value()) << bad;
  EXPECT_EQ(FormatVersion(210), "2.1");
  EXPECT_EQ(FormatVersion(200), "2");
  EXPECT_EQ(FormatVersion(205), "2.05");
  EXPECT_EQ(FormatVersion(0), "0");
  for (int version : kKnownVersions) EXPECT_EQ(ParseVersion(FormatVersion(version)), version);
  EXPECT_FALSE(IsKnownVersion(220));
  EXPECT_DOUBLE_EQ(VersionNumber(210), 2.1);
}

}  // namespace
}  // namespace tabulor::schema
