#include "shell/log_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "shell/event_line.h"
#include "shell/formats.h"
#include "shell/program_dir.h"
#include "test_dir.h"

namespace tabulor::shell {
namespace {
using testing::TestDir;

TEST(LogFile, AMissingFileIsCreatedWithCrLfLinesInCp1252) {
  TestDir dir;
  {
    LogFile log(dir.File("UPGRADE.log"));
    log.WriteLine("Mise à jour de la table Patient - V1");
    log.WriteLine("€");
  }
  EXPECT_EQ(dir.Read("UPGRADE.log"), "Mise \xE0 jour de la table Patient - V1\r\n\x80\r\n");
}

TEST(LogFile, AnExistingFileIsAppendedToAfterALineHoldingOneBlank) {
  TestDir dir;
  dir.Write("IMPORT.log", "ancien\r\n");
  {
    LogFile log(dir.File("IMPORT.log"));
    log.WriteLine("nouveau");
  }
  { LogFile again(dir.File("IMPORT.log")); }
  EXPECT_EQ(dir.Read("IMPORT.log"), "ancien\r\n \r\nnouveau\r\n \r\n");
}

TEST(LogFile, InProgramDirFindsAnExistingFileWhateverItsCase) {
  TestDir dir;
  SetProgramDir(dir.Dir());
  dir.Write("compress.LOG", "x\r\n");
  {
    LogFile log = LogFile::InProgramDir(kCompressLogName);
    EXPECT_EQ(log.Path(), dir.File("compress.LOG"));
    log.WriteLine("y");
  }
  EXPECT_EQ(dir.Read("compress.LOG"), "x\r\n \r\ny\r\n");
  {
    LogFile created = LogFile::InProgramDir(kUpgradeLogName);
    EXPECT_EQ(created.Path(), dir.File("UPGRADE.log"));
  }
  SetProgramDir({});
}

TEST(LogFile, FailuresAreErrorsNamingTheFile) {
  TestDir dir;
  try {
    LogFile log(dir.File("missing/UPGRADE.log"));
    FAIL() << "opened a log in a missing directory";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("missing/UPGRADE.log"), std::string::npos) << e.what();
  }
  LogFile log(dir.File("a.log"));
  log.Close();
  EXPECT_THROW(log.WriteLine("after close"), std::runtime_error);
}

class EventLineTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = Formats(); }
  void TearDown() override { Formats() = saved_; }
  FormatSettings saved_;
};

TEST_F(EventLineTest, ReportAndLogTellTheSameWordsTheLogPrefixedByDateAndTime) {
  TestDir dir;
  SetShortDateFormat("dd/mm/yy");
  db::DateTime when;
  when.year = 2026, when.month = 12, when.day = 7, when.hour = 14, when.minute = 5, when.second = 9;
  std::vector<std::string> report;
  {
    LogFile log(dir.File("COMPRESS.log"));
    EventReporter events([&](const std::string& line) { report.push_back(line); }, &log, [&] { return when; });
    events.Tell("Durand Paul : Patient existant");
    events.TellError("Erreur à l'importation du patient", "12", "Champ requis");
  }
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(report[0], "Durand Paul : Patient existant");
  EXPECT_EQ(report[1], "Erreur à l'importation du patient : 12\rChamp requis");
  EXPECT_EQ(dir.Read("COMPRESS.log"),
            "07/12/26 14:05:09 : Durand Paul : Patient existant\r\n"
            "07/12/26 14:05:09 : Erreur \xE0 l'importation du patient : 12\rChamp requis\r\n");

  SetShortDateFormat("dd/mm/yyyy");
  EXPECT_EQ(EventLogLine(when, "x"), "07/12/2026 14:05:09 : x");
}

TEST_F(EventLineTest, WithoutALogOnlyTheReportIsTold) {
  std::vector<std::string> report;
  EventReporter events([&](const std::string& line) { report.push_back(line); }, nullptr);
  events.Tell("seul");
  EXPECT_EQ(report, std::vector<std::string>{"seul"});
}

}  // namespace
}  // namespace tabulor::shell
