// A practice database whose index files are missing or damaged: the key is in
// the .DB header, so a keyed table without its .PX is damaged, not unkeyed.
// Verify says so, nothing writes to it until reindex rebuilds it, and a key
// dropped on purpose leaves a sound unkeyed table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "db/schema/generator/generator.h"
#include "pxlib_reader.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of every file of the table's family, by name.
std::map<std::string, std::string> FamilyBytes(Session& session, const std::string& dir, const std::string& table) {
  std::map<std::string, std::string> bytes;
  for (const std::string& name : TableFamilyFiles(session, dir, table)) bytes[name] = FileBytes(dir + "/" + name);
  return bytes;
}

// The message of the EngineError `f` throws; "" when it throws none.
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return {};
}

class DamagedIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schema::GeneratorOptions options;
    options.patients = 6;
    schema::GeneratePracticeDatabase(root_.path(), options);
    dir_ = schema::DataDirectory(root_.path());
  }

  testing::ScratchDir root_;
  std::string dir_;
  Session session_;
};

// Path: 20 pathologies, keyed, with the case-insensitive index on their names
// and no blob file (pxlib reads it).
TEST_F(DamagedIndexTest, AMissingPrimaryIndexIsReportedRefusedAndRebuiltByReindex) {
  const std::string table = dir_ + "/Path.DB";
  const std::string pxlib_before = testing::PxlibDump(table);
  const std::string dump_before = testing::DumpTable(session_, dir_, "Path");
  fs::remove(dir_ + "/Path.PX");
  const auto files_before = FamilyBytes(session_, dir_, "Path");
  ASSERT_THAT(files_before, ::testing::SizeIs(3));  // Path.DB, Path.XG0, Path.YG0

  testing::ToolRun verify = testing::RunTool("verify " + dir_);
  EXPECT_EQ(verify.status, 1) << verify.out;
  EXPECT_THAT(verify.out, HasSubstr(table + ": the primary index file Path.PX is missing")) << verify.out;
  EXPECT_THAT(verify.out, HasSubstr("Prof.DB: ok")) << verify.out;

  // The rows still read; nothing writes to the table or changes its structure.
  EXPECT_EQ(testing::DumpTable(session_, dir_, "Path"), dump_before);
  Table writer(session_, dir_, "Path");
  EXPECT_THAT(ErrorOf([&] { writer.Open(); }), HasSubstr("Path.PX is missing"));
  EXPECT_FALSE(writer.Active());
  Table reader(session_, dir_, "Path");
  reader.SetReadOnly(true);
  reader.Open();
  EXPECT_EQ(reader.RecordCount(), 20);
  reader.Close();
  const std::vector<std::pair<std::string, std::function<void()>>> changes = {
      {"ALTER TABLE", [&] { ExecSql(session_, dir_, "ALTER TABLE Path ADD GRAVITE INTEGER"); }},
      {"ChangeField", [&] { ChangeField(session_, dir_, "Path", "NOM", FieldChange{.new_name = "LIBELLE"}); }},
      {"AddIndex", [&] { AddIndex(session_, dir_, "Path", IndexDef{.name = "ByName", .fields = {"NOM"}}); }},
      {"AddIndex primary", [&] { AddIndex(session_, dir_, "Path", IndexDef{.fields = {"PK_PATH"}, .primary = true}); }},
  };
  for (const auto& [what, change] : changes)
    EXPECT_THAT(ErrorOf(change), HasSubstr("the primary index file Path.PX is missing")) << what;
  EXPECT_EQ(FamilyBytes(session_, dir_, "Path"), files_before) << "a refused change wrote";

  testing::ToolRun reindex = testing::RunTool("reindex " + table);
  EXPECT_EQ(reindex.status, 0) << reindex.out;
  EXPECT_TRUE(fs::exists(dir_ + "/Path.PX"));
  EXPECT_THAT(testing::VerifyTable(dir_, "Path"), IsEmpty());
  testing::ToolRun again = testing::RunTool("verify " + table);
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(testing::PxlibDump(table), pxlib_before);
  EXPECT_EQ(testing::DumpTable(session_, dir_, "Path"), dump_before);

  // Whole again: a write goes in key order and keeps every index in step.
  writer.Open();
  writer.Append();
  writer.FieldByName("NOM").SetAsString("Vertige positionnel");
  writer.Post();
  writer.Close();
  EXPECT_THAT(testing::VerifyTable(dir_, "Path"), IsEmpty());
  EXPECT_NO_THROW(testing::PxlibDump(table));
}

TEST_F(DamagedIndexTest, ADamagedIndexFileIsNamedNotTheTable) {
  auto damage = [&](const std::string& file, long offset, const std::string& bytes) {
    std::fstream f(dir_ + "/" + file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  damage("Prof.PX", 0x04, "\x07");          // no longer a primary index file
  damage("Norme.PX", 0x1E, "\x40\x00");     // its root block lies past the end of the file
  damage("Users.YG0", 0x1E, "\x40\x00");    // the same in a secondary index's tree
  {
    // The first entry of Patient.PX counts one row more than its data block holds.
    std::ifstream px(dir_ + "/Patient.PX", std::ios::binary);
    uint8_t head[4] = {};
    px.read(reinterpret_cast<char*>(head), 4);
    const long record_size = head[0] | head[1] << 8, header_size = head[2] | head[3] << 8;
    px.seekg(header_size + 6 + record_size - 3);
    const char low = static_cast<char>(px.get() + 1);
    damage("Patient.PX", header_size + 6 + record_size - 3, std::string(1, low));
  }
  testing::ToolRun verify = testing::RunTool("verify " + dir_);
  EXPECT_EQ(verify.status, 1) << verify.out;
  EXPECT_THAT(verify.out, HasSubstr("Prof.DB: primary index Prof.PX: not a primary index")) << verify.out;
  EXPECT_THAT(verify.out, HasSubstr("Norme.DB: primary index Norme.PX: damaged index: block 64")) << verify.out;
  EXPECT_THAT(verify.out, HasSubstr("Users.DB: index Utilisateur existant (Users.YG0): damaged index: block 64"))
      << verify.out;
  EXPECT_THAT(verify.out, HasSubstr("Patient.DB: primary index Patient.PX: entry 1 does not match data block 1"))
      << verify.out;
  Table prof(session_, dir_, "Prof");
  EXPECT_THAT(ErrorOf([&] { prof.Open(); }), HasSubstr("primary index Prof.PX: not a primary index"));
}

// Type, the protocols: keyed, with the unique code index the upgrade builds again.
TEST_F(DamagedIndexTest, DroppingTheKeyLeavesASoundUnkeyedTableWithoutIndexFiles) {
  const std::string table = dir_ + "/Type.DB";
  const std::string pxlib_before = testing::PxlibDump(table);
  ASSERT_THAT(TableFamilyFiles(session_, dir_, "type"), ElementsAre("Type.DB", "Type.PX", "Type.XG0", "Type.YG0"));
  {
    Table open(session_, dir_, "Type");
    open.Open();
    EXPECT_THAT(ErrorOf([&] { DropPrimaryKey(session_, dir_, "Type"); }), HasSubstr("is open"));
  }
  DropPrimaryKey(session_, dir_, "Type");
  EXPECT_THAT(TableFamilyFiles(session_, dir_, "Type"), ElementsAre("Type.DB"));
  EXPECT_THAT(testing::VerifyTable(dir_, "Type"), IsEmpty());
  EXPECT_EQ(testing::PxlibDump(table), pxlib_before);  // the same rows in the same order
  testing::ToolRun info = testing::RunTool("info " + table);
  EXPECT_THAT(info.out, HasSubstr("file type       2 (unkeyed table)")) << info.out;
  EXPECT_THAT(info.out, HasSubstr("primary key     0 field(s)")) << info.out;
  const std::string dropped = FileBytes(table);
  DropPrimaryKey(session_, dir_, "Type");  // nothing left to drop
  EXPECT_EQ(FileBytes(table), dropped);

  // The key of a table whose .PX is missing can be dropped as well.
  fs::remove(dir_ + "/Norme.PX");
  DropPrimaryKey(session_, dir_, "Norme");
  EXPECT_THAT(TableFamilyFiles(session_, dir_, "Norme"), ElementsAre("Norme.DB"));
  EXPECT_THAT(testing::VerifyTable(dir_, "Norme"), IsEmpty());
  EXPECT_NO_THROW(testing::PxlibDump(dir_ + "/Norme.DB"));

  // Unkeyed, the table takes new rows at its end.
  Table type(session_, dir_, "Type");
  type.Open();
  type.Append();
  type.FieldByName("CODE").SetAsString("Tandem");
  type.Post();
  type.Close();
  EXPECT_THAT(testing::VerifyTable(dir_, "Type"), IsEmpty());
}

TEST_F(DamagedIndexTest, ATablesWholeFamilyIsListedAndDeletedTogether) {
  for (const char* extra : {"Users.VAL", "users.tv", "UsersOld.DB", "Users"}) std::ofstream(dir_ + "/" + extra) << "x";
  EXPECT_THAT(TableFamilyFiles(session_, dir_, "Users.DB"),
              ElementsAre("Users.DB", "Users.PX", "Users.VAL", "Users.XG0", "Users.YG0", "users.tv"));
  {
    Table users(session_, dir_, "Users");
    users.SetReadOnly(true);
    users.Open();
    EXPECT_THAT(ErrorOf([&] { DeleteTableFiles(session_, dir_, "Users"); }), HasSubstr("Users.DB is open"));
  }
  EXPECT_TRUE(fs::exists(dir_ + "/Users.DB"));
  std::ofstream(dir_ + "/Users.DB.journal") << "x";  // as a writer that died leaves it
  EXPECT_THAT(TableFamilyFiles(session_, dir_, "Users"), ::testing::Not(::testing::Contains("Users.DB.journal")));
  DeleteTableFiles(session_, dir_, "Users");
  EXPECT_THAT(TableFamilyFiles(session_, dir_, "Users"), IsEmpty());
  EXPECT_FALSE(fs::exists(dir_ + "/Users.DB.journal"));  // it would be played back onto a later Users table
  EXPECT_TRUE(fs::exists(dir_ + "/UsersOld.DB"));
  EXPECT_TRUE(fs::exists(dir_ + "/Users"));
  EXPECT_NO_THROW(DeleteTableFiles(session_, dir_, "Users"));  // nothing left is no error
}

}  // namespace
}  // namespace tabulor::db
