// tabulor-import as a scheduled task runs it: on a program directory, whose
// configuration and database it must use, refusing what the menu refuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {
namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ImportToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("tabulor-import-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Generate(const std::string& version) {
    const std::string command = std::string(TABULOR_BUILD_DIR) + "/tabulor-mkdb --version " + version +
                                " --patients 3 '" + dir_.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  Outcome Run(const std::string& args) {
    const std::string command = "cd '" + dir_.string() + "' && timeout 60 " + TABULOR_BUILD_DIR +
                                "/tabulor-import " + args + " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir_ / "out.txt"), Slurp(dir_ / "err.txt")};
    EXPECT_NE(outcome.status, 124) << "tabulor-import hung: " << command;
    return outcome;
  }

  std::string ProgramDir() const { return "--program-dir '" + dir_.string() + "'"; }

  fs::path dir_;
};

TEST_F(ImportToolTest, UsageErrorsListTheCommandsAndExitWithTwo) {
  for (const std::string args : {std::string(), ProgramDir(), ProgramDir() + " nothing-of-that-name", std::string("--program-dir")}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 2) << args;
    EXPECT_NE(o.err.find("usage: tabulor-import [--program-dir DIR] COMMAND"), std::string::npos) << o.err;
  }
}

// The name of the first command the usage text lists ("" when none is built).
std::string FirstCommand(const std::string& usage) {
  const std::string lead = "tabulor-import [--program-dir DIR] ";
  size_t at = usage.find(lead, usage.find('\n'));
  if (at == std::string::npos) return {};
  at += lead.size();
  return usage.substr(at, usage.find(' ', at) - at);
}

TEST_F(ImportToolTest, TheProgramDirectorysDatabaseIsGatedAndItsAliasMustExist) {
  const std::string command = FirstCommand(Run("").err);
  if (command.empty()) GTEST_SKIP() << "this build has no import command";
  Generate("2.1");
  const auto before = fs::last_write_time(dir_ / "DATA" / "Patient.DB");

  const Outcome old = Run(ProgramDir() + " " + command + " '" + dir_.string() + "/nothing'");
  EXPECT_EQ(old.status, 1) << old.err;
  EXPECT_NE(old.err.find("Version des tables incompatible !"), std::string::npos) << old.err;
  EXPECT_EQ(fs::last_write_time(dir_ / "DATA" / "Patient.DB"), before);
  EXPECT_FALSE(fs::exists(dir_ / "IMPORT.log")) << "nothing ran";

  // A configuration that names an alias the alias file lacks: told, and a failure.
  std::ofstream(dir_ / "Ortalis.INI") << "[Main]\r\nCreateAlias=0\r\nNomAlias=ABSENT\r\n";
  const Outcome missing = Run(ProgramDir() + " " + command + " x");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("ABSENT"), std::string::npos) << missing.err;
}

}  // namespace
