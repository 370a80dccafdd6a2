#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/msg.h"

namespace tabulor::shell {
namespace {

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages, errors;
};

class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest() {
    context.messages = &sink;
    context.database = "PRATIQUE";
    runs.Register(ShellFunction::kUpgrade, [this](const FunctionContext& given) {
      calls.push_back("upgrade");
      EXPECT_EQ(given.database, "PRATIQUE");
      if (fail_upgrade) throw std::runtime_error("Table Patient verrouillée");
    });
    runs.Register(ShellFunction::kCompress, [this](const FunctionContext&) { calls.push_back("compress"); });
  }
  bool Run(std::vector<std::string> args) { return CommandLineRun(runs, status, context).Run(args); }

  UnattendedRuns runs;
  StartupStatus status;
  RecordingSink sink;
  FunctionContext context;
  std::vector<std::string> calls;
  bool fail_upgrade = false;
};

TEST_F(CommandLineTest, SwitchesRunInOrderWhateverTheirCaseAndRepeatedOnesRunAgain) {
  EXPECT_TRUE(Run({"ZIP_DATA", "Update_BD_Ortalis", "zip_data", "update_bd_ortalis"}));
  EXPECT_EQ(calls, (std::vector<std::string>{"compress", "upgrade", "compress", "upgrade"}));
  EXPECT_FALSE(status.TerminationRequested());
  EXPECT_EQ(status.ExitCode(), 0);
  EXPECT_TRUE(sink.errors.empty());
}

TEST_F(CommandLineTest, OtherFormsAreIgnored) {
  EXPECT_TRUE(Run({"-zip_data", "/zip_data", "zip_data2", "zip_data ", " no_ihm", "--no_ihm", "update_bd", "", "x"}));
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(status.TerminationRequested());
}

TEST_F(CommandLineTest, NoIhmAloneOnlyRequestsTermination) {
  EXPECT_TRUE(Run({"NO_IHM"}));
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(status.TerminationRequested());
  EXPECT_EQ(status.ExitCode(), 0);
}

TEST_F(CommandLineTest, NoIhmThenZipDataStillCompresses) {
  EXPECT_TRUE(Run({"no_ihm", "zip_data"}));
  EXPECT_EQ(calls, std::vector<std::string>{"compress"});
  EXPECT_TRUE(status.TerminationRequested());
}

TEST_F(CommandLineTest, AnErrorIsReportedAndStopsTheRemainingSwitches) {
  fail_upgrade = true;
  EXPECT_FALSE(Run({"zip_data", "update_bd_ortalis", "zip_data", "no_ihm"}));
  EXPECT_EQ(calls, (std::vector<std::string>{"compress", "upgrade"}));
  EXPECT_EQ(sink.errors, std::vector<std::string>{"Table Patient verrouillée"});
  // The "no_ihm" after the error is not reached either.
  EXPECT_FALSE(status.TerminationRequested());
  EXPECT_NE(status.ExitCode(), 0);
}

TEST_F(CommandLineTest, ASwitchWhoseRunIsNotInThisBuildFails) {
  UnattendedRuns none;
  EXPECT_FALSE(CommandLineRun(none, status, context).Run({"no_ihm", "zip_data"}));
  EXPECT_EQ(sink.errors, std::vector<std::string>{msg::FunctionUnavailable()});
  EXPECT_TRUE(status.TerminationRequested());
  EXPECT_NE(status.ExitCode(), 0);
}

TEST(Switches, RecognizedWholeAndLowerCased) {
  EXPECT_EQ(RecognizeSwitch("No_Ihm"), Switch::kNoIhm);
  EXPECT_EQ(RecognizeSwitch("ZIP_DATA"), Switch::kCompress);
  EXPECT_FALSE(RecognizeSwitch("no_ihm=1"));
  EXPECT_TRUE(HasSwitch({"a", "NO_IHM"}, Switch::kNoIhm));
  EXPECT_FALSE(HasSwitch({"a", "-no_ihm"}, Switch::kNoIhm));
}

}  // namespace
}  // namespace tabulor::shell
