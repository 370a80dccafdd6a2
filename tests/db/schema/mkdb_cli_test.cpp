// The command line of tabulor-mkdb: what it accepts, what it refuses, and
// that it leaves nothing behind when it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

int RunMkdb(const std::string& arguments) {
  const std::string command =
      (fs::path(TABULOR_BUILD_DIR) / "tabulor-mkdb").string() + " " + arguments + " > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class MkdbCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tabulor-mkdb-cli-" + std::to_string(getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(MkdbCommandLine, WritesTheDatabaseAndItsFolders) {
  ASSERT_EQ(RunMkdb("--version 2,1 --patients 3 --seed 4 " + dir_.string()), 0);
  EXPECT_TRUE(fs::exists(dir_ / "DATA" / "Patient.DB"));
  EXPECT_TRUE(fs::exists(dir_ / "DATA" / "Users.DB"));
  EXPECT_TRUE(fs::is_directory(dir_ / "Documents" / "Mails"));
  EXPECT_TRUE(fs::is_directory(dir_ / "movies"));
  // A second run into the same directory would mix two databases.
  EXPECT_EQ(RunMkdb("--version 2.8 " + dir_.string()), 1);
}

TEST_F(MkdbCommandLine, RefusesWrongArgumentsWithoutWritingAnything) {
  const std::string dir = dir_.string();
  for (const std::string& arguments : std::vector<std::string>
       {"--patients 3 " + dir, "--version 2.2 " + dir, "--version two " + dir, "--version 2.8",
        "--version 2.8 --patients -1 " + dir, "--version 2.8 --patients 100001 " + dir,
        "--version 2.8 --patients 12x " + dir, "--version 2.8 --seed " + dir,
        "--version 2.8 --share 0.5 " + dir, "--version 2.8 --share-with 3 --share 0.5 " + dir,
        "--version 2.8 --share-with 3:10 --share 1.5 " + dir, "--version 2.8 --stray-users " + dir,
        "--version 2.8 --frobnicate " + dir, "--version 2.8 " + dir + " " + dir + "2"}) {
    EXPECT_EQ(RunMkdb(arguments), 2) << arguments;
    EXPECT_FALSE(fs::exists(dir_)) << arguments;
  }
  EXPECT_EQ(RunMkdb("--help"), 0);
}

}  // namespace
