// The program run unattended, as a scheduled task would: copied alone into a
// directory, no display, messages on standard error, the exit status telling
// whether everything succeeded.
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
  std::string err;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("tabulor-program-" + std::to_string(rd()));
    fs::create_directories(dir_);
    fs::copy_file(fs::path(TABULOR_BUILD_DIR) / "tabulor", dir_ / "tabulor");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }

  // Without DISPLAY and without a chosen platform: the program must find its
  // way to the offscreen platform by itself and never wait.
  Outcome Run(const std::string& args) {
    const std::string command = "cd '" + dir_.string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 ./tabulor " +
                                args + " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    std::ifstream in(dir_ / "err.txt");
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                    {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
    EXPECT_NE(outcome.status, 124) << "the program hung: " << command;
    return outcome;
  }

  // Under a private X server, with another program's window titled `title` open.
  // Runs the program on a fresh X server beside a window of that title. A
  // server that did not come up (two `xvfb-run -a` started at once can pick the
  // same display) is tried again rather than taken for the program's answer.
  Outcome RunBesideWindow(const std::string& title, const std::string& args) {
    constexpr int kNoServer = 99;
    const std::string script = "xmessage -title '" + title + "' x & w=$!; shown=0; " +
                               "for i in $(seq 100); do xwininfo -name '" + title +
                               "' >/dev/null 2>&1 && { shown=1; break; }; sleep 0.1; done; " +
                               "[ $shown = 1 ] || { kill $w; exit " + std::to_string(kNoServer) + "; }; " +
                               "timeout 60 ./tabulor " + args + " >out.txt 2>err.txt; s=$?; kill $w; exit $s";
    Write("beside.sh", script);
    const std::string command =
        "cd '" + dir_.string() + "' && env -u QT_QPA_PLATFORM xvfb-run -a sh beside.sh >/dev/null 2>&1";
    Outcome outcome;
    for (int attempt = 0; attempt < 5; ++attempt) {
      fs::remove(dir_ / "err.txt");
      const int raw = std::system(command.c_str());
      std::ifstream in(dir_ / "err.txt");
      outcome = {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                 {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
      const bool server_lost = outcome.err.find("could not connect to display") != std::string::npos;
      if (outcome.status != kNoServer && !server_lost) break;
    }
    return outcome;
  }

  fs::path dir_;
};

TEST_F(ProgramTest, NoIhmAloneEndsAtOnceWithSuccess) {
  fs::create_directory(dir_ / "DATA");
  const Outcome o = Run("NO_IHM");
  EXPECT_EQ(o.status, 0) << o.err;
  // Nothing of the program's own (Qt may note its runtime directory).
  EXPECT_EQ(o.err.find("tabulor:"), std::string::npos) << o.err;
}

TEST_F(ProgramTest, AMissingDatabaseDirectoryIsReportedAndFailsTheRun) {
  const Outcome o = Run("no_ihm");
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find("erreur"), std::string::npos) << o.err;
}

TEST_F(ProgramTest, AMissingAliasIsToldOnStandardErrorAndEndsTheProgram) {
  fs::create_directory(dir_ / "DATA");
  Write("ortalis.ini", "[Main]\r\nCreateAlias=0\r\nNomAlias=ABSENT\r\n");
  // No "no_ihm": the termination request alone ends the program.
  const Outcome o = Run("");
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find("Information BDE : alias ABSENT non trouvé !"), std::string::npos) << o.err;
}

TEST_F(ProgramTest, AFailingSwitchMakesTheExitStatusNonZero) {
  fs::create_directory(dir_ / "DATA");
  // An empty database has nothing the compression can work on.
  const Outcome o = Run("zip_data no_ihm");
  EXPECT_NE(o.status, 0);
  EXPECT_FALSE(o.err.empty());
}

TEST_F(ProgramTest, WithoutDisplayAndWithoutSwitchNothingWaitsForAWindow) {
  fs::create_directory(dir_ / "DATA");
  for (const char* args : {"", "-no_ihm /zip_data"}) {
    const Outcome o = Run(args);
    EXPECT_NE(o.status, 0) << args;
    EXPECT_NE(o.err.find("Aucun affichage disponible"), std::string::npos) << o.err;
  }
}

TEST_F(ProgramTest, AStaleDisplayCountsAsNone) {
  fs::create_directory(dir_ / "DATA");
  const std::string command = "cd '" + dir_.string() +
                              "' && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:9876 timeout 60 ./tabulor "
                              "no_ihm >out.txt 2>err.txt";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
}

TEST_F(ProgramTest, TheEnglishModuleBesideTheProgramIsUsedWhenAskedFor) {
  fs::create_directory(dir_ / "DATA");
  fs::copy_file(fs::path(TABULOR_BUILD_DIR) / "tabulor_en.qm", dir_ / "tabulor_en.qm");
  Write("Kestra.INI", "[Main]\r\nLanguage=9\r\n");
  const Outcome english = Run("");
  EXPECT_NE(english.err.find("No display available"), std::string::npos) << english.err;

  Write("Kestra.INI", "[Main]\r\nLanguage=3\r\n");
  const Outcome french = Run("");
  EXPECT_NE(french.err.find("Aucun affichage disponible"), std::string::npos) << french.err;
}

// A registration dropped by the linker would leave the switch "not available".
TEST_F(ProgramTest, TheRunsOfTheLinkedFormLibrariesAreRegistered) {
  fs::create_directory(dir_ / "DATA");
  const std::string unavailable = "Cette fonction n'est pas disponible";
  EXPECT_EQ(Run("update_bd_ortalis no_ihm").err.find(unavailable), std::string::npos);
  EXPECT_EQ(Run("zip_data no_ihm").err.find(unavailable), std::string::npos);
}

TEST_F(ProgramTest, AnOpenSiblingApplicationRefusesTheStart) {
  if (std::system("{ command -v xmessage && command -v xwininfo && xvfb-run -a true; } >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs an X server from xvfb-run, xmessage and xwininfo";
  fs::create_directory(dir_ / "DATA");
  const Outcome refused = RunBesideWindow("Quenta", "zip_data no_ihm");
  EXPECT_NE(refused.err.find("Veuillez fermer toutes les applications Vantrel !"), std::string::npos) << refused.err;
  // The switches did not run: not a success.
  EXPECT_NE(refused.status, 0);

  // A title that merely begins with a sibling's does not count.
  const Outcome started = RunBesideWindow("Quenta 2", "no_ihm");
  EXPECT_EQ(started.err.find("Veuillez fermer"), std::string::npos) << started.err;
  EXPECT_EQ(started.status, 0) << started.err;
}

}  // namespace
