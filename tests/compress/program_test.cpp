// "zip_data" through the program itself: the switch reaches the run, which
// works on the database beside the program and logs beside it.
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "data_table.h"
#include "db/schema/generator/generator.h"

namespace tabulor::compress::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string err;
};

class ZipDataProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(fs::path(TABULOR_BUILD_DIR) / "tabulor", tmp_.Path() / "tabulor"); }

  Outcome Run(const std::string& args) {
    const std::string command = "cd '" + tmp_.Path().string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 120 ./tabulor " +
                                args + " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    std::ifstream in(tmp_.Path() / "err.txt");
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
            {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
  }
  std::string Data() const { return (tmp_.Path() / "DATA").string(); }

  TempDir tmp_;
  db::Session session_{db::Env::Default()};
};

TEST_F(ZipDataProgramTest, CompressesTheDatabaseBesideTheProgram) {
  schema::GeneratorOptions options;
  options.patients = 15;
  schema::GeneratePracticeDatabase(tmp_.Path().string(), options, session_);
  const TableState before = ReadDataTable(session_, Data());

  const Outcome o = Run("zip_data no_ihm");
  EXPECT_EQ(o.status, 0) << o.err;
  const TableState after = ReadDataTable(session_, Data());
  EXPECT_THAT(CheckRun(before, after, 20000, true), ::testing::IsEmpty());
  EXPECT_TRUE(fs::exists(tmp_.Path() / "COMPRESS.log"));
  int newly_compressed = 0;
  for (const auto& [id, row] : after) newly_compressed += row.zipped == 1 && before.at(id).zipped == 0;
  EXPECT_GT(newly_compressed, 0);
}

TEST_F(ZipDataProgramTest, MissingZippedFieldIsToldOnStandardError) {
  fs::create_directories(Data());
  CreateDataTable(session_, Data(), {{300, 200, 0, Acquisition(300, 200, 1)}}, 100);
  const Outcome o = Run("zip_data no_ihm");
  EXPECT_NE(o.err.find("Champ Zipped non trouvé"), std::string::npos) << o.err;
  EXPECT_EQ(ReadDataTable(session_, Data()).begin()->second.zipped, std::nullopt);
}

TEST_F(ZipDataProgramTest, AnEngineErrorFailsTheProgram) {
  fs::create_directories(Data());
  const Outcome o = Run("zip_data no_ihm");
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find("data.db"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace tabulor::compress::testing
