#include "paradox_import/import_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using tabulor::paradox_import::ReadImportFolders;

namespace {

class ImportFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::temp_directory_path() /
               ("pdximport_folders_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(program_);
    fs::create_directories(program_);
  }
  void TearDown() override { fs::remove_all(program_); }
  std::string ProgramDir() const { return program_.string() + "/"; }
  fs::path program_;
};

TEST_F(ImportFoldersTest, WithoutConfigurationTheFoldersStayEmptyAndNothingIsCreated) {
  const auto folders = ReadImportFolders(ProgramDir());
  EXPECT_EQ(folders.adult_age, 14);
  EXPECT_TRUE(folders.mails_folder.empty());
  EXPECT_TRUE(folders.video_folder.empty());
  EXPECT_FALSE(fs::exists(program_ / "Documents"));
}

TEST_F(ImportFoldersTest, DefaultsAreCreatedBesideTheProgramAndKeysAreRead) {
  std::ofstream(program_ / "Kestra.INI") << "[Options]\r\nAgeAdulte=16\r\n";
  auto folders = ReadImportFolders(ProgramDir());
  EXPECT_EQ(folders.adult_age, 16);
  EXPECT_EQ(folders.mails_folder, ProgramDir() + "Documents/Mails/");
  EXPECT_EQ(folders.video_folder, ProgramDir() + "Movies/");
  EXPECT_TRUE(fs::is_directory(program_ / "Documents" / "Mails"));
  EXPECT_TRUE(fs::is_directory(program_ / "Movies"));

  const std::string letters = (program_ / "letters").string();
  const std::string videos = (program_ / "videos").string() + "/";
  std::ofstream(program_ / "Kestra.INI", std::ios::trunc)
      << "[Courrier]\r\nDefaultFolder=" << letters << "\r\n[Video]\r\nDefaultFolder=" << videos << "\r\n";
  folders = ReadImportFolders(ProgramDir());
  EXPECT_EQ(folders.adult_age, 14);
  EXPECT_EQ(folders.mails_folder, letters + "/");
  EXPECT_EQ(folders.video_folder, videos);
  EXPECT_TRUE(fs::is_directory(letters));
  EXPECT_TRUE(fs::is_directory(videos));
}

}  // namespace
