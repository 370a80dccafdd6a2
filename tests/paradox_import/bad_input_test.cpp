// Sources and destinations the database import must refuse: each gives a
// clear error and leaves the practice database as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "db/schema/generator/generator.h"
#include "paradox_import/import_run.h"
#include "paradox_import/practice_snapshot.h"
#include "shell/formats.h"

namespace tabulor::paradox_import {
namespace {

namespace fs = std::filesystem;

class ParadoxImportBadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("paradox_import_bad_" + std::to_string(::getpid()) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    schema::GeneratorOptions options;
    options.patients = 12;
    schema::GeneratePracticeDatabase((root_ / "practice").string(), options);
    options.seed = 3;
    options.patients = 20;  // another row count than the practice, whose index files some cases borrow
    schema::GeneratePracticeDatabase((root_ / "other").string(), options);
    shell::SetShortDateFormat("dd/mm/yy");
    before_ = Practice();
  }
  void TearDown() override {
    fs::permissions(root_ / "practice" / "DATA", fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root_);
  }
  snapshot::Database Practice() {
    db::Session session;
    return snapshot::Read(session, (root_ / "practice" / "DATA").string());
  }
  // The whole import; the message of the error that stopped it.
  std::string Import() {
    db::Session session;
    session.AddAlias("PRACTICE", (root_ / "practice" / "DATA").string());
    try {
      ParadoxSource source(session);
      source.Open((root_ / "other" / "DATA").string());
      const std::string program_dir = (root_ / "practice").string() + "/";
      ImportEvents events;
      ImportRun run(Destination{&session, "PRACTICE", program_dir, ReadImportFolders(program_dir)}, source, nullptr,
                    events, RunOptions{true, true});
      run.Run();
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }
  fs::path Source(const char* file) const { return root_ / "other" / "DATA" / file; }

  fs::path root_;
  snapshot::Database before_;
};

TEST_F(ParadoxImportBadInputTest, ADamagedSourceIsRefusedNamingTheTableBeforeAnythingIsWritten) {
  fs::resize_file(Source("Data.MB"), fs::file_size(Source("Data.MB")) / 2);  // blobs cut off
  const std::string error = Import();
  EXPECT_NE(error.find("Connection à la base de données"), std::string::npos) << error;
  EXPECT_NE(error.find("Data.DB"), std::string::npos) << error;
  EXPECT_TRUE(Practice() == before_);
}

TEST_F(ParadoxImportBadInputTest, ASourceIndexOutOfStepWithItsTableIsRefused) {
  fs::copy_file(root_ / "practice" / "DATA" / "Patient.PX", Source("Patient.PX"), fs::copy_options::overwrite_existing);
  const std::string error = Import();
  EXPECT_NE(error.find("Patient"), std::string::npos) << error;
  EXPECT_TRUE(Practice() == before_);
}

TEST_F(ParadoxImportBadInputTest, APracticeTableHeldByAnotherProgramIsRefusedBeforeAnythingChanges) {
  std::ofstream(root_ / "practice" / "DATA" / "Examen.LCK") << "";
  const std::string error = Import();
  EXPECT_NE(error.find("Examen"), std::string::npos) << error;
  EXPECT_NE(error.find("another program"), std::string::npos) << error;
  fs::remove(root_ / "practice" / "DATA" / "Examen.LCK");
  EXPECT_TRUE(Practice() == before_);
}

TEST_F(ParadoxImportBadInputTest, AReadOnlyPracticeIsRefusedAndStaysAsItWas) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes whatever the permissions say";
  fs::permissions(root_ / "practice" / "DATA", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string error = Import();
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(Practice() == before_);
}

}  // namespace
}  // namespace tabulor::paradox_import
