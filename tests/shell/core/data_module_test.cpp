#include "shell/data_module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "shell/program_dir.h"
#include "test_dir.h"

namespace tabulor::shell {
namespace {
using testing::TestDir;

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages, errors;
};

class DataModuleTest : public ::testing::Test {
 protected:
  DataModuleTest() {
    std::filesystem::create_directory(dir_.File("DATA"));
    setup_.session = &session_;
    setup_.program_file = dir_.Dir() + "tabulor";
    setup_.status = &status_;
    setup_.messages = &sink_;
    setup_.switch_language = [this](int locale) { locales_.push_back(locale); };
  }
  ~DataModuleTest() override { SetProgramDir({}); }

  void WriteVersionTable(const std::vector<std::pair<std::string, double>>& rows) {
    db::TableDef def;
    def.fields = {{"NomTable", db::FieldType::kAlpha, 32}, {"Version", db::FieldType::kNumber, 0}};
    def.key_field_count = 1;
    db::CreateTable(session_, dir_.File("DATA"), "Version", def);
    db::Table table(session_, dir_.File("DATA"), "Version.db");
    table.Open();
    for (const auto& [name, version] : rows) {
      table.Append();
      table.FieldByName("NomTable").SetAsString(name);
      table.FieldByName("Version").SetAsFloat(version);
      table.Post();
    }
    table.Close();
  }

  TestDir dir_;
  db::Session session_;
  StartupStatus status_;
  RecordingSink sink_;
  std::vector<int> locales_;
  DataModuleSetup setup_;
};

TEST_F(DataModuleTest, WithoutConfigurationTheDefaultAliasIsCreatedOnData) {
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_EQ(ProgramDir(), dir_.Dir());
  EXPECT_EQ(data.Settings().alias_name, "KORVANE");
  ASSERT_TRUE(session_.AliasExists("KORVANE"));
  EXPECT_TRUE(std::filesystem::equivalent(session_.AliasPath("KORVANE"), dir_.File("DATA")));
  EXPECT_TRUE(data.DB.Connected());
  EXPECT_EQ(data.DB.AliasName(), "KORVANE");
  EXPECT_EQ(locales_, std::vector<int>{12});
  EXPECT_FALSE(status_.TerminationRequested());
  data.DataModuleDestroy();
  EXPECT_FALSE(data.DB.Connected());
}

TEST_F(DataModuleTest, AnAliasOfTheSameNameIsReplacedForThisRun) {
  TestDir elsewhere;
  session_.AddAlias("PRATIQUE", elsewhere.Dir());
  dir_.Write("Ortalis.INI", "[Main]\r\nNomAlias=PRATIQUE\r\n");
  dir_.Write("Balantis.INI", "[Main]\r\nNomAlias=IGNORED\r\nLanguage=9\r\n");
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_TRUE(std::filesystem::equivalent(session_.AliasPath("PRATIQUE"), dir_.File("DATA")));
  EXPECT_FALSE(session_.AliasExists("IGNORED"));
  EXPECT_EQ(locales_, std::vector<int>{12});
}

TEST_F(DataModuleTest, AnExistingAliasIsUsedUnchangedWhenCreateAliasIsOff) {
  TestDir elsewhere;
  session_.AddAlias("PRATIQUE", elsewhere.Dir());
  dir_.Write("Kestra.INI", "[Main]\r\nCreateAlias=0\r\nNomAlias=PRATIQUE\r\n");
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_TRUE(std::filesystem::equivalent(session_.AliasPath("PRATIQUE"), elsewhere.Dir()));
  EXPECT_TRUE(data.DB.Connected());
  EXPECT_TRUE(std::filesystem::equivalent(data.DB.Directory(), elsewhere.Dir()));
  EXPECT_FALSE(session_.AliasExists("KORVANE"));
}

TEST_F(DataModuleTest, AMissingAliasIsToldAndEndsTheProgramWithoutConnecting) {
  dir_.Write("Ortalis.INI", "[Main]\r\nCreateAlias=0\r\nNomAlias=ABSENT\r\nLanguage=9\r\n");
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_EQ(sink_.messages, std::vector<std::string>{"Information BDE : alias ABSENT non trouvé !"});
  EXPECT_TRUE(status_.TerminationRequested());
  EXPECT_NE(status_.ExitCode(), 0);
  EXPECT_FALSE(data.DB.Connected());
  EXPECT_TRUE(locales_.empty());
}

TEST_F(DataModuleTest, LanguageThreeAndTwelveAreFrenchOthersEnglish) {
  for (const auto& [value, locale] : std::vector<std::pair<std::string, int>>{
           {"3", 12}, {"12", 12}, {"9", 9}, {"0", 9}, {"1036", 9}, {"anglais", 12}}) {
    dir_.Write("Ortalis.INI", "[Main]\r\nLanguage=" + value + "\r\n");
    locales_.clear();
    TF_Data data(setup_);
    data.DataModuleCreate();
    EXPECT_EQ(locales_, std::vector<int>{locale}) << value;
  }
}

TEST_F(DataModuleTest, AMissingDataDirectoryFailsTheConnectionAndSkipsTheLanguage) {
  std::filesystem::remove(dir_.File("DATA"));
  TF_Data data(setup_);
  EXPECT_THROW(data.DataModuleCreate(), std::exception);
  EXPECT_FALSE(data.DB.Connected());
  EXPECT_TRUE(locales_.empty());
  EXPECT_FALSE(status_.TerminationRequested());
}

TEST_F(DataModuleTest, SchemaVersionIsTheLowestRowTimes100) {
  WriteVersionTable({{"Patient", 2.8}, {"Examen", 2.8}, {"Mesure", 2.5}});
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_EQ(data.SchemaVersion(), 250);
  EXPECT_FALSE(data.tVersion.Active());
}

TEST_F(DataModuleTest, SchemaVersionOfAnUpToDateBaseIs280) {
  WriteVersionTable({{"Patient", 2.8}, {"Examen", 2.8}, {"Mesure", 2.8}});
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_EQ(data.SchemaVersion(), 280);
  // The version table's fields are reachable by name while it is open.
  data.tVersion.Open();
  data.tVersion.First();
  EXPECT_EQ(data.tVersionNomTable().AsString(), "Examen");
  data.tVersion.Close();
}

TEST_F(DataModuleTest, SchemaVersionOfAnEmptyTableIs0) {
  WriteVersionTable({});
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_EQ(data.SchemaVersion(), 0);
}

TEST_F(DataModuleTest, SchemaVersionWithoutVersionTableIsAnError) {
  TF_Data data(setup_);
  data.DataModuleCreate();
  EXPECT_THROW(data.SchemaVersion(), std::exception);
  EXPECT_FALSE(data.tVersion.Active());
}

}  // namespace
}  // namespace tabulor::shell
