// Secondary index files: rebuilt like the original engine builds them, read
// as a cursor's current index, kept in step at every flush, and unique
// indexes refusing duplicates.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

#include "db/paradox/engine.h"
#include "db/paradox/upper_case.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/index/index_check.h"
#include "db/paradox/table_family.h"
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

std::shared_ptr<TableFamily> OpenFamily(const std::string& dir, const std::string& table) {
  auto env = Env::Default();
  return std::make_shared<TableFamily>(env, FamilyFiles::Find(*env, dir, table), table, true);
}

// The header bytes where a rebuilt index may differ from the original
// engine's: the change counters (their absolute values are the engine's
// history; a rebuild sets the index's counter equal to its table's).
const std::set<size_t> kCounterBytes = {0x2C, 0x2D, 0x2E, 0x2F};

struct SampleTable {
  const char* folder;
  const char* table;
  // Body bytes allowed to differ: the stale block hints of the original.
  int stale_hints;
};

class Reindex : public ::testing::TestWithParam<SampleTable> {};

TEST_P(Reindex, GivesTheOriginalEnginesBytesButCounters) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  const SampleTable& s = GetParam();
  ScratchDir dir;
  testing::CopySampleFolder(s.folder, dir.path());
  Session session;
  RebuildIndexes(session, dir.path(), s.table);
  FamilyFiles files = FamilyFiles::Find(*Env::Default(), dir.path(), s.table);
  std::vector<std::string> compared = files.secondary;
  if (!files.px.empty()) compared.push_back(files.px);
  ASSERT_FALSE(compared.empty());
  int body_differences = 0;
  for (const std::string& name : compared) {
    const auto original = ReadBytes(testing::SamplesDir() + "/" + s.folder + "/" + name);
    const auto rebuilt = ReadBytes(dir / name);
    ASSERT_EQ(original.size(), rebuilt.size()) << name;
    const size_t header = original[2] | (original[3] << 8);
    for (size_t i = 0; i < original.size(); ++i) {
      if (original[i] == rebuilt[i]) continue;
      if (i < header) EXPECT_TRUE(kCounterBytes.count(i)) << name << " header byte 0x" << std::hex << i;
      else ++body_differences;
    }
  }
  // A stale hint is the two bytes of one record's block number.
  EXPECT_LE(body_differences, 2 * s.stale_hints);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), s.table).empty());
  // The table itself is not touched.
  EXPECT_EQ(ReadBytes(testing::SamplesDir() + "/" + s.folder + "/" + files.db), ReadBytes(dir / files.db));
}

INSTANTIATE_TEST_SUITE_P(Samples, Reindex,
                         ::testing::Values(SampleTable{"zakazky", "zakazky", 1},
                                           SampleTable{"paradoxdriver/db", "AREACODES", 0},
                                           SampleTable{"paradoxdriver/db", "CUSTOMER", 0},
                                           SampleTable{"paradoxdriver/joins", "C", 0},
                                           SampleTable{"paradoxdriver/joins", "fk4", 0},
                                           SampleTable{"paradoxdriver/joins", "multiple", 0},
                                           SampleTable{"paradoxdriver/joins", "to_multiple", 0}),
                         [](const ::testing::TestParamInfo<SampleTable>& info) {
                           std::string name = std::string(info.param.folder) + "_" + info.param.table;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(SecondaryIndex, WalkAndFindKeyFollowTheIndexFiles) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  const std::vector<std::pair<std::string, std::string>> tables = {
      {"zakazky", "zakazky"}, {"paradoxdriver/db", "AREACODES"}, {"paradoxdriver/db", "CUSTOMER"},
      {"paradoxdriver/joins", "C"}, {"paradoxdriver/joins", "fk4"}};
  int indexes = 0;
  for (const auto& [folder, name] : tables) {
    const std::string dir = testing::SamplesDir() + "/" + folder;
    auto fam = OpenFamily(dir, name);
    for (const index::IndexFiles& idx : fam->SecondaryIndexes()) {
      ++indexes;
      index::KeyLayout layout(fam->Header(), fam->Definition().key_field_count, idx, fam->Codec());
      const auto records = index::ReadIndexRecords(*Env::Default(), dir + "/" + idx.x_name);
      Session session;
      Table t(session, dir, name);
      t.SetReadOnly(true);
      t.SetIndexName(idx.def.name);
      t.Open();
      ASSERT_EQ(t.RecordCount(), static_cast<int64_t>(records.size())) << idx.x_name;
      // Walk: row i of the cursor is the row the index file lists i-th (by its primary key).
      size_t i = 0;
      for (t.First(); !t.Eof(); t.Next(), ++i) {
        std::vector<uint8_t> key(records[i].begin() + layout.IndexedSize(), records[i].begin() + layout.KeySize());
        std::vector<uint8_t> row_key;
        for (int k = 0; k < fam->Definition().key_field_count; ++k) {
          const FieldDef& fd = fam->Definition().fields[k];
          std::vector<uint8_t> bytes(static_cast<size_t>(fam->Header().stored_sizes[k]), 0);
          format::EncodeField(fd.type, t.FieldAt(k).AsVariant(), bytes.data(), static_cast<int>(bytes.size()), fd.size,
                              fam->Codec());
          row_key.insert(row_key.end(), bytes.begin(), bytes.end());
        }
        ASSERT_EQ(row_key, key) << idx.x_name << " row " << i;
      }
      EXPECT_EQ(i, records.size());
      // FindKey on every tenth entry's indexed values (lower-cased for a
      // case-insensitive index) lands on a row with those values.
      for (size_t r = 0; r < records.size(); r += 10) {
        std::vector<Value> wanted;
        int at = 0;
        for (int f : idx.fields) {
          const FieldDef& fd = fam->Definition().fields[f];
          const int n = fam->Header().stored_sizes[f];
          Value v = format::DecodeField(fd.type, records[r].data() + at, n, fam->Codec());
          if (auto* text = std::get_if<std::string>(&v); text && idx.def.case_insensitive)
            for (char& c : *text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          wanted.push_back(v);
          at += n;
        }
        ASSERT_TRUE(t.FindKey(wanted)) << idx.x_name << " entry " << r;
        for (size_t k = 0; k < idx.fields.size(); ++k) {
          Value got = t.FieldAt(idx.fields[k]).AsVariant();
          if (auto* text = std::get_if<std::string>(&got); text && idx.def.case_insensitive)
            for (char& c : *text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          EXPECT_EQ(got, wanted[k]) << idx.x_name << " entry " << r;
        }
      }
    }
  }
  EXPECT_EQ(indexes, 6);
}

TEST(SecondaryIndex, FlushKeepsEveryIndexFileInStepWithItsTable) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  const auto x_before = ReadBytes(dir / "CUSTOMER.X06");
  const auto y_before = ReadBytes(dir / "CUSTOMER.Y06");
  {
    Session session;
    Table t(session, dir.path(), "CUSTOMER");
    t.SetIndexName("City");
    t.Open();
    for (int i = 0; i < 150; ++i) {  // enough rows for a second X block
      t.Append();
      t.FieldByName("LastName").SetAsString("Name" + std::to_string(i));
      t.FieldByName("City").SetAsString(i % 3 ? "Lyon" : "Annecy");
      t.Post();
    }
    t.FlushBuffers();
    ASSERT_TRUE(t.FindKey({std::string("Santa Cruz")}));
    t.Edit();
    t.FieldByName("City").SetAsString("Aix");
    t.Post();
    t.Last();
    t.Delete();
    t.Close();
  }
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "CUSTOMER").empty());
  const auto db = ReadBytes(dir / "CUSTOMER.DB");
  const auto px = ReadBytes(dir / "CUSTOMER.PX");
  const auto x = ReadBytes(dir / "CUSTOMER.X06");
  const auto y = ReadBytes(dir / "CUSTOMER.Y06");
  EXPECT_EQ(x[0x2F], px[0x2C]);  // the X file names the primary index's counter
  EXPECT_EQ(x[0x2E], db[0x2E]);  // and the table's structure version
  // Both counters moved on together: their difference is the original's.
  EXPECT_NE(x[0x2D], x_before[0x2D]);
  EXPECT_EQ(static_cast<uint8_t>(y[0x2C] - x[0x2D]), static_cast<uint8_t>(y_before[0x2C] - x_before[0x2D]));
  auto fam = OpenFamily(dir.path(), "CUSTOMER");
  EXPECT_EQ(fam->RecordCount(), 169);
  EXPECT_EQ(x.size(), 3u * 2048);  // the rows now fill two X blocks
  EXPECT_EQ(y[0x06], 2);           // and the tree has an entry for each
  // The first city in index order is the edited one.
  Session session;
  Table t(session, dir.path(), "CUSTOMER");
  t.SetIndexName("City");
  t.Open();
  EXPECT_EQ(t.FieldByName("City").AsString(), "Aix");
}

TableDef UsersDef() {
  TableDef def;
  def.fields = {{"PK_USE", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 30}, {"PASS_WD", FieldType::kAlpha, 30}};
  def.key_field_count = 1;
  def.sort_order = "DBWINUS0";
  return def;
}

void AddUser(Table& t, const std::string& name) {
  t.Append();
  t.FieldByName("NOM").SetAsString(name);
  t.Post();
}

TEST(SecondaryIndex, CaseInsensitiveIndexUpperCasesAccentedLetters) {
  ScratchDir dir;
  Session session;
  CreateTable(session, dir.path(), "Users", UsersDef());
  {
    Table t(session, dir.path(), "Users");
    t.Open();
    for (const char* n : {"ADMIN", "émile", "Zoé", "bernard"}) AddUser(t, n);
    t.Close();
  }
  IndexDef idx;
  idx.name = "Utilisateur existant";
  idx.fields = {"NOM"};
  idx.case_insensitive = true;
  AddIndex(session, dir.path(), "Users", idx);
  ASSERT_TRUE(fs::exists(dir / "Users.XG0"));
  ASSERT_TRUE(fs::exists(dir / "Users.YG0"));
  // The X file stores the keys upper-cased in cp1252, accents included.
  const auto records = index::ReadIndexRecords(*Env::Default(), dir / "Users.XG0");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(records[1].data()), 6), "BERNAR");
  // Binary order of the stored bytes, as under the table's language driver: É (0xC9) sorts after Z.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(records[2].data()), 3), "ZO\xC9");
  EXPECT_EQ(records[3][0], 0xC9);
  Table t(session, dir.path(), "Users");
  t.SetIndexName("Utilisateur existant");
  t.Open();
  ASSERT_TRUE(t.FindKey({std::string("Admin")}));
  EXPECT_EQ(t.FieldByName("NOM").AsString(), "ADMIN");
  ASSERT_TRUE(t.FindKey({std::string("ÉMILE")}));
  EXPECT_EQ(t.FieldByName("NOM").AsString(), "émile");
  EXPECT_FALSE(t.FindKey({std::string("emile")}));  // an accent is not a case
  std::vector<std::string> order;
  for (t.First(); !t.Eof(); t.Next()) order.push_back(t.FieldByName("NOM").AsString());
  EXPECT_EQ(order, (std::vector<std::string>{"ADMIN", "bernard", "Zoé", "émile"}));
}

// The Users table with the unique index "Nom unique" on NOM.
void CreateUsersWithUniqueNames(Session& session, const std::string& dir, bool case_insensitive) {
  CreateTable(session, dir, "Users", UsersDef());
  IndexDef idx;
  idx.name = "Nom unique";
  idx.fields = {"NOM"};
  idx.unique = true;
  idx.case_insensitive = case_insensitive;
  AddIndex(session, dir, "Users", idx);
}

TEST(SecondaryIndex, UniqueIndexRefusesADuplicatePost) {
  ScratchDir dir;
  Session session;
  CreateUsersWithUniqueNames(session, dir.path(), true);
  Table t(session, dir.path(), "Users");
  t.Open();
  AddUser(t, "Dupont");
  AddUser(t, "Durand");
  t.FlushBuffers();
  t.Append();
  t.FieldByName("NOM").SetAsString("DUPONT");
  try {
    t.Post();
    FAIL() << "a duplicate key was posted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Nom unique"), std::string::npos) << e.what();
  }
  t.Cancel();
  // An edit that would duplicate another row is refused too; one that keeps its own key is not.
  t.Locate("NOM", std::string("Durand"));
  t.Edit();
  t.FieldByName("NOM").SetAsString("dupont");
  EXPECT_THROW(t.Post(), EngineError);
  t.Cancel();
  t.Edit();
  t.FieldByName("PASS_WD").SetAsString("secret");
  EXPECT_NO_THROW(t.Post());
  // A key that an edit or a delete gave up can be taken again; the new key of the edit cannot.
  t.Edit();
  t.FieldByName("NOM").SetAsString("Martin");
  t.Post();
  AddUser(t, "DURAND");
  ASSERT_TRUE(t.Locate("NOM", std::string("Dupont")));
  t.Delete();
  AddUser(t, "dupont");
  t.Append();
  t.FieldByName("NOM").SetAsString("MARTIN");
  EXPECT_THROW(t.Post(), EngineError);
  t.Cancel();
  t.Close();
  EXPECT_EQ(testing::DumpTable(session, dir.path(), "Users").find("DUPONT"), std::string::npos);
  EXPECT_EQ(testing::DumpTable(session, dir.path(), "Users").find("MARTIN"), std::string::npos);
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Users").empty());
  EXPECT_EQ(index::ReadIndexRecords(*Env::Default(), dir / "Users.XG0").size(), 3u);
}

// Thousands of posts, edits and deletes over a small set of names, so that the
// keys held crowd together and keep leaving: each post is refused exactly
// when another row holds its name.
TEST(SecondaryIndex, UniqueIndexFollowsEveryChangeOfALongRun) {
  ScratchDir dir;
  Session session;
  CreateUsersWithUniqueNames(session, dir.path(), false);
  Table t(session, dir.path(), "Users");
  t.Open();
  std::set<std::string> held;
  uint32_t rng = 12345;
  const auto next = [&](uint32_t n) {
    rng = rng * 1103515245u + 12345u;
    return (rng >> 8) % n;
  };
  int refused = 0, posted = 0, deleted = 0;
  for (int step = 0; step < 6000; ++step) {
    const std::string name = "N" + std::to_string(next(300));
    const uint32_t what = next(10);
    if (what < 5 || held.empty()) {
      t.Append();
    } else {
      // Another row, by its name.
      auto it = held.begin();
      std::advance(it, next(static_cast<uint32_t>(held.size())));
      const std::string old = *it;
      ASSERT_TRUE(t.Locate("NOM", old)) << old;
      if (what < 8) {
        t.Delete();
        held.erase(old);
        ++deleted;
        continue;
      }
      t.Edit();
      t.FieldByName("NOM").SetAsString(name);
      const bool taken = held.count(name) > 0 && name != old;
      if (taken) {
        EXPECT_THROW(t.Post(), EngineError) << "step " << step;
        t.Cancel();
        ++refused;
      } else {
        ASSERT_NO_THROW(t.Post()) << "step " << step;
        held.erase(old);
        held.insert(name);
        ++posted;
      }
      continue;
    }
    t.FieldByName("NOM").SetAsString(name);
    if (held.count(name)) {
      EXPECT_THROW(t.Post(), EngineError) << "step " << step;
      t.Cancel();
      ++refused;
    } else {
      ASSERT_NO_THROW(t.Post()) << "step " << step;
      held.insert(name);
      ++posted;
    }
    if (step % 1000 == 999) t.FlushBuffers();
  }
  EXPECT_GT(refused, 1000);
  EXPECT_GT(posted, 1000);
  EXPECT_GT(deleted, 500);
  EXPECT_EQ(t.RecordCount(), static_cast<int64_t>(held.size()));
  t.Close();
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "Users").empty());
}

// A table opened again finds its rows by their ids among its blocks until a
// change inside a block; the rows a split moves before that must still be
// named anew in the index files at the next flush.
TEST(SecondaryIndex, RowsASplitMovesAreNamedAnewAtTheNextFlush) {
  ScratchDir dir;
  TableDef def;
  def.fields = {{"NOM", FieldType::kAlpha, 30}, {"VILLE", FieldType::kAlpha, 20}};
  def.key_field_count = 1;
  def.sort_order = "DBWINUS0";
  IndexDef by_town;
  by_town.name = "Ville";
  by_town.fields = {"VILLE"};
  const auto add = [](Table& t, int number) {
    const std::string name = "N" + std::string(4 - std::to_string(number).size(), '0') + std::to_string(number);
    t.Append();
    t.FieldByName("NOM").SetAsString(name);
    t.FieldByName("VILLE").SetAsString("Ville " + std::to_string(number % 7));
    t.Post();
  };
  {
    Session session;
    CreateTable(session, dir.path(), "Towns", def);
    AddIndex(session, dir.path(), "Towns", by_town);
    Table t(session, dir.path(), "Towns");
    t.Open();
    for (int i = 0; i < 400; i += 2) add(t, i);  // appended in key order: every block full
  }
  {
    Session session;
    Table t(session, dir.path(), "Towns");
    t.Open();
    add(t, 9999);  // at the end
    t.FlushBuffers();
    add(t, 1);  // inside the first block, which splits
    t.FlushBuffers();
    add(t, 3);
  }
  EXPECT_EQ(testing::VerifyTable(dir.path(), "Towns"), std::vector<std::string>{});
  EXPECT_EQ(testing::IndexFilesNotAsBuilt(dir.path(), "Towns"), std::vector<std::string>{});
  Session session;
  Table t(session, dir.path(), "Towns");
  t.SetIndexName("Ville");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 203);
}

TEST(SecondaryIndex, VerifyFindsAnIndexOutOfStep) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  auto patched = [](size_t offset, uint8_t value) {
    ScratchDir dir;
    testing::CopySampleFolder("paradoxdriver/db", dir.path());
    std::fstream f(dir / "CUSTOMER.X06", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(value));
    f.close();
    return testing::VerifyTable(dir.path(), "CUSTOMER");
  };
  // The counter of the primary index it was kept with.
  std::vector<std::string> problems = patched(0x2F, 0x00);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("primary index counter"), std::string::npos) << problems[0];
  // A city in the first entry (block 1 starts at 0x800, its records at 0x806).
  problems = patched(0x806, 'Z');
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("entry 1 does not match"), std::string::npos) << problems[0];
  // A stale block hint is no problem: the original engine leaves them.
  EXPECT_TRUE(patched(0x806 + 19, 0x7F).empty());
}

TEST(SecondaryIndex, ReindexRemakesALostTree) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  ScratchDir dir;
  testing::CopySampleFolder("zakazky", dir.path());
  fs::remove(dir / "zakazky.YG0");
  EXPECT_FALSE(testing::VerifyTable(dir.path(), "zakazky").empty());
  Session session;
  RebuildIndexes(session, dir.path(), "zakazky");
  EXPECT_TRUE(testing::VerifyTable(dir.path(), "zakazky").empty());
  // The tree's blocks are the original engine's, only its header is new.
  const auto original = ReadBytes(testing::SamplesDir() + "/zakazky/zakazky.YG0");
  const auto remade = ReadBytes(dir / "zakazky.YG0");
  ASSERT_EQ(original.size(), remade.size());
  EXPECT_TRUE(std::equal(original.begin() + 0x800, original.end(), remade.begin() + 0x800));
  Table t(session, dir.path(), "zakazky");
  t.SetIndexName("ISKUPINA");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3988);
}

}  // namespace
TEST(UpperCaseTest, AccentedLettersKeepTheirAccentWithinTheTablesCodePage) {
  db::TableDef ansi;  // code page 1252
  EXPECT_EQ(UpperCase("élodie", ansi), "ÉLODIE");
  EXPECT_EQ(UpperCase("dr lefèvre", ansi), "DR LEFÈVRE");
  EXPECT_EQ(UpperCase("remplaçant cœur", ansi), "REMPLAÇANT CŒUR");
  EXPECT_EQ(UpperCase("straße", ansi), "STRAßE");  // one letter for one
  EXPECT_EQ(UpperCase("ÉTÉ 2", ansi), "ÉTÉ 2");
  db::TableDef dos;
  dos.code_page = 437;
  EXPECT_EQ(UpperCase("élodie", dos), "ÉLODIE");
  EXPECT_EQ(UpperCase("cœur à", dos), "CœUR à");  // neither Œ nor À exists in code page 437
}

}  // namespace tabulor::db
