// Generated practice databases, read back through the engine and through
// pxlib: layouts of every version, rows and their links, blobs, side files,
// determinism and patients shared between two databases.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "db/schema/layout.h"
#include "db/schema/tables.h"
#include "pxlib_reader.h"

namespace tabulor::schema {
namespace {

namespace fs = std::filesystem;

constexpr int kPatients = 60;
constexpr uint64_t kSeed = 7;

fs::path ScratchRoot() {
  static const fs::path root = fs::temp_directory_path() / ("tabulor-schema-" + std::to_string(getpid()));
  return root;
}

fs::path DatabaseAt(int version) { return ScratchRoot() / ("v" + FormatVersion(version)); }

GeneratorOptions Options(int version, int patients = kPatients, uint64_t seed = kSeed) {
  GeneratorOptions options;
  options.version = version;
  options.patients = patients;
  options.seed = seed;
  return options;
}

// One database of every version, generated on first use and shared by the
// tests of the process; the scratch directory goes at the end.
class Scratch : public ::testing::Environment {
 public:
  void SetUp() override { fs::remove_all(ScratchRoot()); }
  void TearDown() override { fs::remove_all(ScratchRoot()); }
};
[[maybe_unused]] const auto* const kScratch = ::testing::AddGlobalTestEnvironment(new Scratch);

void EnsureDatabases() {
  static const bool generated = [] {
    for (int version : kKnownVersions) GeneratePracticeDatabase(DatabaseAt(version).string(), Options(version));
    return true;
  }();
  (void)generated;
}

fs::path RootOf(int version) {
  EnsureDatabases();
  return DatabaseAt(version);
}
std::string DataDirOf(int version) { return DataDirectory(RootOf(version).string()); }

std::string Upper(std::string name) {
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

// Every row of a table, each field as text under its upper-case name (blobs by their size).
using Row = std::map<std::string, std::string>;
std::vector<Row> ReadRows(const std::string& dir, const std::string& table_name) {
  db::Session session;
  db::Table table(session, dir, table_name);
  table.Open();
  std::vector<Row> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    Row& row = rows.emplace_back();
    for (int i = 0; i < table.FieldCount(); ++i) {
      db::Field& field = table.FieldAt(i);
      const bool binary = field.Type() == db::FieldType::kBlob;
      row[Upper(field.Name())] = field.IsNull()  ? std::string()
                                 : binary        ? "<" + std::to_string(field.BlobSize()) + " bytes>"
                                                 : field.AsString();
    }
  }
  table.Close();
  return rows;
}

std::set<std::string> Column(const std::vector<Row>& rows, const std::string& field) {
  std::set<std::string> values;
  for (const Row& row : rows) values.insert(row.at(field));
  return values;
}

// Fields and keys; the named indexes are checked on their own below.
TEST(GeneratedDatabase, EveryTableHasTheFieldsAndKeyOfItsVersion) {
  db::Session session;
  for (int version : kKnownVersions) {
    for (const TableLayout& layout : LayoutAt(version)) {
      db::Table table(session, DataDirOf(version), layout.name);
      ASSERT_NO_THROW(table.Open()) << layout.name << " at " << FormatVersion(version);
      db::TableDef actual = table.Definition(), expected = layout.def;
      actual.indexes.clear();
      expected.indexes.clear();
      const auto differences = CompareDefinitions(actual, expected);
      EXPECT_TRUE(differences.empty()) << layout.name << " at " << FormatVersion(version) << ": "
                                       << differences.front();
      table.Close();
    }
    EXPECT_EQ(db::TableExists(session, DataDirOf(version), "Users"), version >= 200) << FormatVersion(version);
    EXPECT_EQ(db::TableExists(session, DataDirOf(version), "User"), version < 200) << FormatVersion(version);
  }
}

TEST(GeneratedDatabase, EveryTableHasTheNamedIndexesOfItsVersion) {
  db::Session session;
  for (int version : kKnownVersions)
    for (const TableLayout& layout : LayoutAt(version)) {
      db::Table table(session, DataDirOf(version), layout.name);
      table.Open();
      const auto differences = CompareDefinitions(table.Definition(), layout.def);
      EXPECT_TRUE(differences.empty()) << layout.name << " at " << FormatVersion(version) << ": "
                                       << differences.front();
    }
}

TEST(GeneratedDatabase, VersionTableHoldsTheRowsOfItsVersion) {
  for (int version : kKnownVersions) {
    const std::vector<Row> rows = ReadRows(DataDirOf(version), "Version");
    std::vector<std::string> expected = VersionRowsAt(version);
    std::set<std::string> names = Column(rows, "NOMTABLE");
    EXPECT_EQ(names, std::set<std::string>(expected.begin(), expected.end())) << FormatVersion(version);
    db::Session session;
    db::Table table(session, DataDirOf(version), "Version.db");
    table.Open();
    for (table.First(); !table.Eof(); table.Next())
      EXPECT_EQ(std::lround(static_cast<float>(table.FieldByName("Version").AsFloat()) * 100.0), version);
    EXPECT_TRUE(table.FindKey({std::string("Patient")}));
  }
}

TEST(GeneratedDatabase, RowsAreLinkedAsTheRelationsSay) {
  const std::string dir = DataDirOf(kCurrentVersion);
  std::map<std::string, std::vector<Row>> tables;
  for (const char* name : {"Patient", "Examen", "Mesure", "Data", "Posturo", "Users", "Prof", "Path", "Pres",
                           "Jeu", "Bilan", "Docs", "Norme", "Type"})
    tables[name] = ReadRows(dir, name);
  EXPECT_EQ(tables["Patient"].size(), static_cast<size_t>(kPatients));
  for (const Relation& relation : Relations()) {
    if (!relation.condition.empty()) continue;
    const std::set<std::string> targets = Column(tables[relation.target_table], Upper(relation.target_field));
    for (const Row& row : tables[relation.table]) {
      const std::string& value = row.at(Upper(relation.field));
      if (!value.empty()) {
        EXPECT_TRUE(targets.count(value)) << relation.table << "." << relation.field << " = " << value;
      }
    }
  }
  // FK_DAT by kind: "W" names a Posturo row, every other kind a Data row; "C" rows link both.
  const std::set<std::string> posturo = Column(tables["Posturo"], "ID_ACQ");
  std::map<std::string, Row> data;
  for (const Row& row : tables["Data"]) data[row.at("ID_ACQ")] = row;
  std::map<std::string, int> kinds;
  for (const Row& measure : tables["Mesure"]) {
    const std::string& kind = measure.at("TYPE");
    ++kinds[kind];
    if (kind == "W") {
      EXPECT_TRUE(posturo.count(measure.at("FK_DAT")));
    } else {
      ASSERT_TRUE(data.count(measure.at("FK_DAT"))) << "measurement " << measure.at("PK_MES");
      const Row& acquisition = data[measure.at("FK_DAT")];
      EXPECT_EQ(measure.at("NBIMAGE"), acquisition.at("NBIMAGES"));
      if (kind == "C") {
        EXPECT_TRUE(posturo.count(acquisition.at("VP")));
      }
    }
  }
  for (const char* kind : {"W", "C", "P", "D"}) EXPECT_GT(kinds[kind], 0) << kind;
  // Every posturography row names an existing protocol by its code.
  const std::set<std::string> codes = Column(tables["Type"], "CODE");
  for (const Row& row : tables["Posturo"]) EXPECT_TRUE(codes.count(row.at("CODETYPE")));
}

TEST(GeneratedDatabase, PatientsLookRealAndSomeLackFirstNameOrBirthDate) {
  GenerationCounts counts;
  const fs::path root = ScratchRoot() / "many";
  counts = GeneratePracticeDatabase(root.string(), Options(kCurrentVersion, 600, 3));
  const std::vector<Row> patients = ReadRows(DataDirectory(root.string()), "Patient");
  ASSERT_EQ(patients.size(), 600u);
  int without_first = 0, without_birth = 0, accented = 0, children = 0;
  for (const Row& p : patients) {
    EXPECT_FALSE(p.at("NOM").empty());
    without_first += p.at("PRENOM").empty();
    without_birth += p.at("BIRTHDT").empty();
    for (unsigned char c : p.at("NOM") + p.at("PRENOM")) accented += c >= 0x80;
    children += p.at("CLASSE") == "0";
    EXPECT_TRUE(p.at("SEXE") == "M" || p.at("SEXE") == "F");
  }
  EXPECT_GT(without_first, 3);
  EXPECT_GT(without_birth, 5);
  EXPECT_GT(accented, 30);
  EXPECT_GT(children, 30);
  EXPECT_EQ(counts.patients, 600);
  EXPECT_GT(counts.examinations, 500);
  EXPECT_GT(counts.measurements, counts.examinations);
}

// Raw acquisitions: sizes around the compression threshold, empty ones, some
// already compressed (a zlib stream of NbImages × DimImage bytes) and some
// with an empty flag.
TEST(GeneratedDatabase, RawAcquisitionsSpanTheCompressionCases) {
  const fs::path root = ScratchRoot() / "blobs";
  GeneratePracticeDatabase(root.string(), Options(kCurrentVersion, 400, 5));
  db::Session session;
  db::Table data(session, DataDirectory(root.string()), "data.db");
  data.Open();
  int small = 0, large = 0, empty = 0, zipped = 0, unflagged = 0;
  for (data.First(); !data.Eof(); data.Next()) {
    const int64_t size = data.FieldByName("NbImages").AsInteger() * data.FieldByName("DimImage").AsInteger();
    const db::Blob blob = data.FieldByName("Data").AsBlob();
    db::Field& flag = data.FieldByName("ZIPPED");
    if (blob.empty()) {
      ++empty;
    } else if (flag.IsNull()) {
      ++unflagged;
      EXPECT_EQ(static_cast<int64_t>(blob.size()), size);
    } else if (flag.AsInteger() == 1) {
      ++zipped;
      ASSERT_GE(blob.size(), 2u);
      EXPECT_EQ(blob[0], 0x78);
      EXPECT_EQ(blob[1], 0x9C);
      std::vector<uint8_t> raw(static_cast<size_t>(size) + 1);
      uLongf raw_size = raw.size();
      EXPECT_EQ(uncompress(raw.data(), &raw_size, blob.data(), static_cast<uLong>(blob.size())), Z_OK);
      EXPECT_EQ(static_cast<int64_t>(raw_size), size);
    } else {
      EXPECT_EQ(flag.AsInteger(), 0);
      EXPECT_EQ(static_cast<int64_t>(blob.size()), size);
    }
    (size > kCompressionThreshold ? large : small) += !blob.empty();
  }
  EXPECT_GT(small, 20);
  EXPECT_GT(large, 20);
  EXPECT_GT(empty, 0);
  EXPECT_GT(zipped, 0);
  EXPECT_GT(unflagged, 0);
}

TEST(GeneratedDatabase, OlderVersionsHoldTheRowsOfTheirTime) {
  auto users = [](int version) { return Column(ReadRows(DataDirOf(version), version < 200 ? "User" : "Users"), "NOM"); };
  const std::set<std::string> current = users(kCurrentVersion);
  EXPECT_TRUE(current.count("ADMIN"));
  EXPECT_TRUE(current.count("SECRÉTARIAT"));
  for (const std::string& name : current) EXPECT_EQ(name, Upper(name)) << name;
  const std::set<std::string> at25 = users(250);
  EXPECT_TRUE(at25.count("ADMIN"));
  EXPECT_TRUE(at25.count("secrétariat"));
  EXPECT_FALSE(users(210).count("ADMIN"));
  EXPECT_EQ(users(0).size(), users(210).size());

  for (const Row& row : ReadRows(DataDirOf(250), "Users"))
    if (row.at("NOM") == "ADMIN") {
      EXPECT_NE(row.at("EXPIRE_DATE"), "");
    }

  // Before version 2 no acquisition is compressed (there is no flag yet).
  db::Session session;
  db::Table data(session, DataDirOf(100), "Data");
  data.Open();
  EXPECT_EQ(data.FindField("Zipped"), nullptr);
  for (data.First(); !data.Eof(); data.Next()) {
    const db::Blob blob = data.FieldByName("Data").AsBlob();
    if (!blob.empty()) {
      EXPECT_EQ(static_cast<int64_t>(blob.size()),
                data.FieldByName("NbImages").AsInteger() * data.FieldByName("DimImage").AsInteger());
    }
  }
  // Protocols have their pressure flag from 2.4 on.
  for (const Row& row : ReadRows(DataDirOf(240), "Type")) EXPECT_FALSE(row.at("PRESSIONS").empty());
}

TEST(GeneratedDatabase, LettersAndVideosNamedByRowsExist) {
  int letters = 0, videos = 0;
  for (const Row& doc : ReadRows(DataDirOf(kCurrentVersion), "Docs")) {
    EXPECT_EQ(doc.at("TYPE"), "1");
    EXPECT_TRUE(fs::is_regular_file(RootOf(kCurrentVersion) / "Documents" / "Mails" / doc.at("NOM")))
        << doc.at("NOM");
    ++letters;
  }
  for (const Row& measure : ReadRows(DataDirOf(kCurrentVersion), "Mesure"))
    for (const char* side : {"VIDEO_LEFT", "VIDEO_RIGHT"})
      if (!measure.at(side).empty()) {
        EXPECT_TRUE(fs::is_regular_file(RootOf(kCurrentVersion) / "movies" / measure.at(side)));
        ++videos;
      }
  EXPECT_GT(letters, 0);
  EXPECT_GT(videos, 0);
}

TEST(GeneratedDatabase, SameSeedSameRowsOtherSeedOtherRows) {
  const fs::path again = ScratchRoot() / "again", other = ScratchRoot() / "other";
  GeneratePracticeDatabase(again.string(), Options(kCurrentVersion));
  GeneratePracticeDatabase(other.string(), Options(kCurrentVersion, kPatients, kSeed + 1));
  for (const char* table : {"Patient", "Examen", "Mesure", "Data", "Posturo", "Users", "Jeu", "Docs"}) {
    EXPECT_EQ(ReadRows(DataDirectory(again.string()), table), ReadRows(DataDirOf(kCurrentVersion), table)) << table;
  }
  EXPECT_NE(ReadRows(DataDirectory(other.string()), "Patient"), ReadRows(DataDirOf(kCurrentVersion), "Patient"));
}

TEST(GeneratedDatabase, SecondDatabaseSharesTheAskedShareOfPatients) {
  const fs::path second = ScratchRoot() / "second";
  GeneratorOptions options = Options(kCurrentVersion, 50, 99);
  options.share_seed = kSeed;
  options.share_patients = kPatients;
  options.share = 0.4;
  const GenerationCounts counts = GeneratePracticeDatabase(second.string(), options);
  EXPECT_EQ(counts.shared_patients, 20);
  auto identities = [](const std::string& dir) {
    std::multiset<std::string> keys;
    for (const Row& p : ReadRows(dir, "Patient")) keys.insert(p.at("NOM") + "|" + p.at("PRENOM") + "|" + p.at("BIRTHDT"));
    return keys;
  };
  const auto first = identities(DataDirOf(kCurrentVersion));
  int common = 0;
  for (const std::string& key : identities(DataDirectory(second.string()))) common += first.count(key) > 0;
  EXPECT_GE(common, 20);
  EXPECT_LE(common, 22);  // a chance match or two besides the shared ones
}

TEST(GeneratedDatabase, StrayUsersFilesBesideTheOldUserTable) {
  const fs::path root = ScratchRoot() / "stray";
  GeneratorOptions options = Options(100, 5);
  options.stray_users_files = true;
  GeneratePracticeDatabase(root.string(), options);
  db::Session session;
  EXPECT_TRUE(db::TableExists(session, DataDirectory(root.string()), "User"));
  EXPECT_TRUE(db::TableExists(session, DataDirectory(root.string()), "Users"));
  EXPECT_EQ(ReadRows(DataDirectory(root.string()), "Users").size(), 1u);
}

TEST(GeneratedDatabase, RefusesAnOccupiedDirectoryAndBadOptions) {
  EXPECT_THROW(GeneratePracticeDatabase(RootOf(kCurrentVersion).string(), Options(kCurrentVersion)),
               std::invalid_argument);
  const std::string fresh = (ScratchRoot() / "refused").string();
  EXPECT_THROW(GeneratePracticeDatabase(fresh, Options(220)), std::invalid_argument);
  EXPECT_THROW(GeneratePracticeDatabase(fresh, Options(kCurrentVersion, -1)), std::invalid_argument);
  GeneratorOptions share = Options(kCurrentVersion);
  share.share_seed = 1;
  EXPECT_THROW(GeneratePracticeDatabase(fresh, share), std::invalid_argument);
}

TEST(GeneratedDatabase, PxlibReadsTheTablesWithoutBlobFile) {
  db::Session session;
  int read = 0;
  for (const TableLayout& layout : LayoutAt(kCurrentVersion)) {
    if (std::any_of(layout.def.fields.begin(), layout.def.fields.end(),
                    [](const db::FieldDef& f) { return db::IsBlobType(f.type); }))
      continue;
    db::Table table(session, DataDirOf(kCurrentVersion), layout.name);
    table.Open();
    const auto px = testing::ReadWithPxlib(table.Path());
    ASSERT_TRUE(px.has_value()) << layout.name;
    EXPECT_EQ(px->records, table.RecordCount()) << layout.name;
    EXPECT_EQ(px->readable_records, px->records) << layout.name;
    ASSERT_EQ(static_cast<int>(px->field_names.size()), table.FieldCount()) << layout.name;
    for (int i = 0; i < table.FieldCount(); ++i) EXPECT_EQ(px->field_names[i], table.FieldAt(i).Name());
    if (layout.name == "Version") {
      std::vector<std::string> expected = VersionRowsAt(kCurrentVersion);
      EXPECT_EQ(std::set<std::string>(px->first_alpha_values.begin(), px->first_alpha_values.end()),
                std::set<std::string>(expected.begin(), expected.end()));
    }
    ++read;
  }
  EXPECT_GE(read, 10);
}

TEST(GeneratedDatabase, TabulorDbVerifyPassesOnEveryVersion) {
  const fs::path tool = fs::path(TABULOR_BUILD_DIR) / "tabulor-db";
  for (int version : kKnownVersions) {
    const std::string command = tool.string() + " verify '" + DataDirOf(version) + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

// Thousands of small blobs (exercise traces, long notes) fill many
// sub-allocated blob blocks: the files must stay sound at that scale too.
TEST(GeneratedDatabase, LargeDatabaseStaysSound) {
  const fs::path tool = fs::path(TABULOR_BUILD_DIR) / "tabulor-db";
  const fs::path root = ScratchRoot() / "large";
  const GenerationCounts counts = GeneratePracticeDatabase(root.string(), Options(kCurrentVersion, 10000, 11));
  EXPECT_GT(counts.exercises, 5000);
  const std::string command = tool.string() + " verify '" + DataDirectory(root.string()) + "' > /dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
}  // namespace tabulor::schema
