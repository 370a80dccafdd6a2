// Every layout the practice software has had, upgraded to 2.8: the fields and
// keys of a database generated at 2.8, the indexes the steps build, every row
// and blob of the original, every version row at 2.8, the log labels in order,
// and files that tabulor-db verify and pxlib accept.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database_snapshot.h"
#include "db/schema/layout.h"
#include "db/schema/tables.h"
#include "practice_db.h"

namespace tabulor::upgrade::testing {
namespace {

struct Layout {
  int version;
  bool stray_users;
};

std::string Name(const ::testing::TestParamInfo<Layout>& info) {
  return "V" + std::to_string(info.param.version) + (info.param.stray_users ? "WithStrayUsersFiles" : "");
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

const db::IndexDef* FindIndexNamed(const db::TableDef& def, const std::string& name) {
  for (const db::IndexDef& index : def.indexes)
    if (schema::SameName(index.name, name)) return &index;
  return nullptr;
}

// The index lines of CompareDefinitions are left out: indexes are checked
// against what the steps build and what the original had.
std::vector<std::string> FieldAndKeyDifferences(const db::TableDef& actual, const db::TableDef& expected) {
  std::vector<std::string> differences;
  for (std::string& line : schema::CompareDefinitions(actual, expected))
    if (line.find("index") == std::string::npos) differences.push_back(std::move(line));
  return differences;
}

class MigrationTest : public ::testing::TestWithParam<Layout> {
 protected:
  static void SetUpTestSuite() {
    reference_ = new ScratchDir;
    Generate(reference_->path(), 280, false, 12, 7);
    reference_snapshot_ = new DatabaseSnapshot(TakeSnapshot(reference_->path() / "DATA"));
  }
  static void TearDownTestSuite() {
    delete reference_snapshot_;
    delete reference_;
  }

  static ScratchDir* reference_;
  static DatabaseSnapshot* reference_snapshot_;
  ScratchDir scratch_;
};

ScratchDir* MigrationTest::reference_ = nullptr;
DatabaseSnapshot* MigrationTest::reference_snapshot_ = nullptr;

TEST_P(MigrationTest, ReachesTheCurrentLayoutKeepingEveryRow) {
  const Layout layout = GetParam();
  Generate(scratch_.path(), layout.version, layout.stray_users, 12, 7);
  const DatabaseSnapshot before = TakeSnapshot(scratch_.path() / "DATA");
  {
    PracticeDb db(scratch_.path());
    ASSERT_EQ(db.RunUpgrade(), 1);
    std::set<std::string> names;
    for (const auto& [name, version] : db.VersionRows()) {
      names.insert(name);
      EXPECT_EQ(version, 280) << name;
    }
    const std::vector<std::string> registered = schema::VersionRowsAt(280);
    EXPECT_EQ(names, std::set<std::string>(registered.begin(), registered.end()));
  }
  EXPECT_EQ(LoggedLabels(scratch_.path() / "UPGRADE.log"), ExpectedLabels(layout.version));

  const DatabaseSnapshot after = TakeSnapshot(scratch_.path() / "DATA");
  EXPECT_THAT(LostOrChanged(before, after), ::testing::IsEmpty());

  std::set<std::string> tables_after, tables_reference;
  for (const auto& [name, def] : after.definitions) tables_after.insert(name);
  for (const auto& [name, def] : reference_snapshot_->definitions) tables_reference.insert(name);
  EXPECT_EQ(tables_after, tables_reference);
  for (const auto& [name, def] : reference_snapshot_->definitions) {
    const auto upgraded = after.definitions.find(name);
    if (upgraded == after.definitions.end()) continue;
    EXPECT_THAT(FieldAndKeyDifferences(upgraded->second, def), ::testing::IsEmpty()) << name;
  }

  // The indexes the steps add or rebuild, with their options; those of the original stay.
  for (const schema::SchemaChange& change : schema::ChangesBetween(layout.version, 280)) {
    if (change.kind != schema::ChangeKind::kAddIndex && change.kind != schema::ChangeKind::kRebuildIndex) continue;
    const db::TableDef& def = after.definitions.at(Upper(change.table));
    if (change.index.primary) {
      EXPECT_EQ(def.key_field_count, static_cast<int>(change.index.fields.size())) << change.Describe();
      EXPECT_TRUE(fs::exists(scratch_.path() / "DATA" / (change.table + ".PX"))) << change.Describe();
      continue;
    }
    const db::IndexDef* index = FindIndexNamed(def, change.index.name);
    ASSERT_NE(index, nullptr) << change.Describe();
    EXPECT_EQ(index->fields, change.index.fields) << change.Describe();
    EXPECT_EQ(index->unique, change.index.unique) << change.Describe();
    EXPECT_EQ(index->case_insensitive, change.index.case_insensitive) << change.Describe();
  }
  for (const auto& [name, def] : before.definitions) {
    if (name == "USERS" && before.definitions.count("USER")) continue;
    const db::TableDef& now = after.definitions.at(name == "USER" ? "USERS" : name);
    for (const db::IndexDef& index : def.indexes) EXPECT_NE(FindIndexNamed(now, index.name), nullptr) << index.name;
  }

  // What the steps fill in.
  for (const auto& [key, row] : after.tables.at("DATA")) EXPECT_NE(row.at("ZIPPED"), "<null>") << key;
  for (const auto& [key, row] : after.tables.at("TYPE")) EXPECT_NE(row.at("PRESSIONS"), "<null>") << key;
  int admins = 0;
  for (const auto& [key, row] : after.tables.at("USERS")) {
    EXPECT_NE(row.at("EXPIRE_DATE"), "<null>") << key;
    admins += row.at("NOM") == "ADMIN";
  }
  EXPECT_EQ(admins, 1);

  EXPECT_THAT(VerifyWithTools(scratch_.path() / "DATA"), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EveryGeneratedVersion, MigrationTest,
                         ::testing::Values(Layout{0, false}, Layout{0, true}, Layout{100, false}, Layout{100, true},
                                           Layout{200, false}, Layout{210, false}, Layout{230, false},
                                           Layout{240, false}, Layout{250, false}),
                         Name);

}  // namespace
}  // namespace tabulor::upgrade::testing
