#include "paradox_import/source_directory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace tabulor::paradox_import;

namespace {

class SourceDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("pdximport_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path MakeSource(const fs::path& dir, std::initializer_list<const char*> names) {
    fs::create_directories(dir);
    for (const char* name : names) std::ofstream(dir / name) << "x";
    return dir;
  }

  fs::path root_;
};

TEST_F(SourceDirectoryTest, EightOfTheNineTablesInAnyCaseMakeASourceButNotTheProgramsOwn) {
  const auto old_install = MakeSource(root_ / "old" / "DATA",
      {"PATIENT.DB", "examen.db", "Mesure.DB", "Data.DB", "Path.DB", "Pres.DB", "Prof.DB", "User.db"});
  EXPECT_EQ(CountSourceTableFiles(old_install), 8);
  EXPECT_TRUE(IsAcceptableSource(old_install, (root_ / "prog").string() + "/"));

  const auto seven = MakeSource(root_ / "seven",
      {"Patient.DB", "Examen.DB", "Mesure.DB", "Path.DB", "Pres.DB", "Prof.DB", "Users.DB"});
  EXPECT_EQ(CountSourceTableFiles(seven), 7);
  EXPECT_FALSE(IsAcceptableSource(seven, (root_ / "prog").string() + "/"));

  // Folders and unrelated files do not count.
  fs::create_directories(seven / "Data.db");
  std::ofstream(seven / "Clefs.DB") << "x";
  EXPECT_EQ(CountSourceTableFiles(seven), 7);

  const auto own = MakeSource(root_ / "prog" / "DATA",
      {"Patient.DB", "Examen.DB", "Mesure.DB", "Data.DB", "Path.DB", "Pres.DB", "Prof.DB", "Users.DB"});
  EXPECT_FALSE(IsAcceptableSource(own, (root_ / "prog").string() + "/"));
  EXPECT_FALSE(IsAcceptableSource(own.string() + "/", (root_ / "prog").string()));
  EXPECT_FALSE(IsAcceptableSource(root_ / "prog" / "." / "DATA", (root_ / "prog").string() + "/"));
  // The same name in other letters, as the program's directory would be on a case-blind disk.
  EXPECT_FALSE(IsAcceptableSource(own, (root_ / "PROG").string() + "/"));
  EXPECT_TRUE(IsAcceptableSource(own, (root_ / "other").string() + "/"));
}

TEST_F(SourceDirectoryTest, PresenceFlagsAndRootFollowTheDirectory) {
  const auto recent = MakeSource(root_ / "inst" / "Base",
      {"Docs.DB", "BILAN.db", "Posturo.DB", "Type.DB", "Jeu.DB", "Norme.DB", "Users.DB"});
  const SourcePresence found = FindSourceTables(recent);
  EXPECT_TRUE(found.has_docs && found.has_bilan && found.has_posturo && found.has_type &&
              found.has_jeu && found.has_norme);
  EXPECT_FALSE(found.user_db);

  const auto old = MakeSource(root_ / "old", {"User.db"});
  const SourcePresence old_found = FindSourceTables(old);
  EXPECT_FALSE(old_found.has_docs || old_found.has_bilan || old_found.has_posturo ||
               old_found.has_type || old_found.has_jeu || old_found.has_norme);
  EXPECT_TRUE(old_found.user_db);

  // The parent of the chosen directory, whatever its name's length.
  EXPECT_EQ(SourceRoot(root_ / "inst" / "Base"), (root_ / "inst").string() + "/");
  EXPECT_EQ(SourceRoot((root_ / "inst" / "Base").string() + "/"), (root_ / "inst").string() + "/");
  EXPECT_EQ(SourceRoot("/a/DATA"), "/a/");
  EXPECT_EQ(SourceRoot("DB"), "./");
  EXPECT_EQ(SourceRoot("/DB"), "/");
}

}  // namespace
