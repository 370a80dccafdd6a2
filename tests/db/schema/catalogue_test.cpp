// Each older layout differs from the current one by exactly what the upgrade
// steps change: the list below is the catalogue of steps, written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "db/schema/layout.h"
#include "db/schema/version.h"

namespace tabulor::schema {
namespace {

struct Step {
  int version;
  std::vector<std::string> changes;
};

const std::vector<Step>& Catalogue() {
  static const std::vector<Step> steps = {
      {100, {"V1 Patient: add field CLASSE I", "V1 Examen: add field CLASSE I"}},
      {200,
       {"V2 Patient: rename field DATE to DATE_PAT",
        "V2 Clefs: add field Logo A(255)", "V2 Clefs: add field Mail A(50)", "V2 Clefs: add field Web A(30)",
        "V2 Data: add field Zipped I",
        "V2 Examen: rename field DATE to DATE_EXA",
        "V2 Mesure: add field Video_Left A(64)", "V2 Mesure: add field Video_Right A(64)",
        "V2 Posturo: add field FK_Norm I", "V2 Posturo: add field Taille A(6)",
        "V2 Type: add field FK_NORM_1 I", "V2 Type: add field FK_NORM_2 I", "V2 Type: add field FK_NORM_3 I",
        "V2 Type: add field FK_NORM_4 I",
        "V2 Type: rebuild index \"PK_TYPE\" (PK_TYPE) primary unique",
        "V2 Type: rebuild index \"Protocole existant\" (CODE) unique case-insensitive",
        "V2 Users: rename table User to Users", "V2 Users: add field PASS_WD A(30)"}},
      {210,
       {"V2.1 Posturo: add field FK_STIMU I",
        "V2.1 Jeu: add index \"IDJeu\" (FK_PAT;DATE_JEU;TIME) unique case-insensitive",
        "V2.1 Jeu: add index \"IDNiveau\" (FK_PAT;NIVEAU) case-insensitive"}},
      {230,
       {"V2.3 Users: add field EXPIRE_DATE D",
        "V2.3 Ville: add index \"PK_VILLE\" (PK_VILLE) primary unique"}},
      {240, {"V2.4 Type: add field PRESSIONS L"}},
      {250,
       {"V2.5 Patient: add field LIMIT_H I", "V2.5 Patient: add field LIMIT_B I", "V2.5 Patient: add field LIMIT_G I",
        "V2.5 Patient: add field LIMIT_D I", "V2.5 Mesure: add field POST_SEQ L"}},
      {280, {}},  // the last step only changes rows (user names, version rows)
  };
  return steps;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Catalogue, EachOlderVersionDiffersFromTheCurrentByTheStepsAboveIt) {
  for (int from : kKnownVersions) {
    std::vector<std::string> expected;
    for (const Step& step : Catalogue())
      if (step.version > from) expected.insert(expected.end(), step.changes.begin(), step.changes.end());
    std::vector<std::string> actual;
    for (const SchemaChange& change : ChangesBetween(from, kCurrentVersion)) actual.push_back(change.Describe());
    EXPECT_EQ(Sorted(actual), Sorted(expected)) << "from version " << FormatVersion(from);
  }
}

TEST(Catalogue, ChangesComeInStepOrder) {
  const std::vector<SchemaChange> changes = ChangesBetween(0, kCurrentVersion);
  EXPECT_TRUE(std::is_sorted(changes.begin(), changes.end(),
                             [](const SchemaChange& a, const SchemaChange& b) { return a.version < b.version; }));
  EXPECT_TRUE(ChangesBetween(kCurrentVersion, kCurrentVersion).empty());
  // Between two older versions: only the steps in between.
  std::vector<std::string> middle;
  for (const SchemaChange& change : ChangesBetween(210, 240)) middle.push_back(change.Describe());
  EXPECT_EQ(Sorted(middle), Sorted({"V2.3 Users: add field EXPIRE_DATE D",
                                    "V2.3 Ville: add index \"PK_VILLE\" (PK_VILLE) primary unique",
                                    "V2.4 Type: add field PRESSIONS L"}));
}

// Plays the structural changes on a layout, as the upgrade does on disk.
void Apply(const SchemaChange& change, std::vector<TableLayout>& layout) {
  auto table = std::find_if(layout.begin(), layout.end(), [&](const TableLayout& t) {
    return SameName(t.name, change.kind == ChangeKind::kRenameTable ? change.name : change.table);
  });
  ASSERT_NE(table, layout.end()) << change.Describe();
  db::TableDef& def = table->def;
  switch (change.kind) {
    case ChangeKind::kRenameTable: table->name = change.new_name; break;
    case ChangeKind::kRenameField: {
      for (db::FieldDef& field : def.fields)
        if (SameName(field.name, change.name)) field.name = change.new_name;
      for (db::IndexDef& index : def.indexes)
        for (std::string& field : index.fields)
          if (SameName(field, change.name)) field = change.new_name;
      break;
    }
    case ChangeKind::kAddField:
      ASSERT_FALSE(std::any_of(def.fields.begin(), def.fields.end(),
                               [&](const db::FieldDef& f) { return SameName(f.name, change.field.name); }))
          << change.Describe();
      def.fields.push_back(change.field);
      break;
    case ChangeKind::kAddIndex:
    case ChangeKind::kRebuildIndex:
      if (change.index.primary) {
        def.key_field_count = static_cast<int>(change.index.fields.size());
      } else {
        std::erase_if(def.indexes, [&](const db::IndexDef& i) { return SameName(i.name, change.index.name); });
        def.indexes.push_back(change.index);
      }
      break;
  }
}

TEST(Catalogue, PlayingTheChangesOnAnOlderLayoutGivesTheCurrentOne) {
  const std::vector<TableLayout> current = LayoutAt(kCurrentVersion);
  for (int from : kKnownVersions) {
    std::vector<TableLayout> layout = LayoutAt(from);
    for (const SchemaChange& change : ChangesBetween(from, kCurrentVersion)) Apply(change, layout);
    ASSERT_EQ(layout.size(), current.size());
    for (size_t i = 0; i < current.size(); ++i) {
      EXPECT_EQ(layout[i].name, current[i].name);
      const auto differences = CompareDefinitions(layout[i].def, current[i].def);
      EXPECT_TRUE(differences.empty()) << "from " << FormatVersion(from) << ", " << current[i].name << ": "
                                       << differences.front();
    }
  }
}

TEST(Catalogue, VersionRowsFollowTheRegistrationsOfTheSteps) {
  auto rows = [](int version) {
    std::vector<std::string> r = VersionRowsAt(version);
    std::sort(r.begin(), r.end());
    return r;
  };
  const std::vector<std::string> base = {"Clefs", "Data", "Examen", "Mesure", "Path", "Patient",
                                         "Posturo", "Pres", "Prof", "Type"};
  auto with = [&](std::vector<std::string> extra) {
    extra.insert(extra.end(), base.begin(), base.end());
    std::sort(extra.begin(), extra.end());
    return extra;
  };
  EXPECT_EQ(rows(0), with({"User"}));
  EXPECT_EQ(rows(100), with({"User"}));
  EXPECT_EQ(rows(200), with({"Users", "Norme", "ParamJeu", "Ville"}));
  EXPECT_EQ(rows(250), rows(200));
  EXPECT_EQ(rows(280), with({"Users", "Norme", "ParamJeu", "Ville", "Bilan", "BilanParam", "Docs", "Jeu",
                             "RefValue", "Stimulation"}));
}

}  // namespace
}  // namespace tabulor::schema
