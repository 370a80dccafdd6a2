// The run around the steps: the summary of Version.db, the choice of the steps
// from the "Patient" row alone, the stamping of every row, and UPGRADE.log.
// A database generated at 2.8 with lowered version rows has every field
// already, so the steps find their work done and only log their labels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "practice_db.h"
#include "shell/formats.h"
#include "shell/msg.h"

namespace tabulor::upgrade::testing {
namespace {

using ::testing::ElementsAre;

class UpgradeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_date_format_ = shell::ShortDateFormat();
    shell::SetShortDateFormat("dd/mm/yy");
    Generate(scratch_.path(), 280);
    db_ = std::make_unique<PracticeDb>(scratch_.path());
  }
  void TearDown() override {
    db_.reset();
    shell::SetShortDateFormat(saved_date_format_);
  }

  std::vector<int> Versions() {
    std::vector<int> versions;
    for (const auto& row : db_->VersionRows()) versions.push_back(row.second);
    return versions;
  }
  bool AllAt(int version) {
    const auto v = Versions();
    return !v.empty() && std::all_of(v.begin(), v.end(), [&](int x) { return x == version; });
  }

  ScratchDir scratch_;
  std::unique_ptr<PracticeDb> db_;
  std::string saved_date_format_;
};

TEST_F(UpgradeRunTest, SummaryOfAnUpToDateDatabaseListsEveryTableAndLogsNothing) {
  UpgradeRun run(db_->Setup());
  EXPECT_EQ(run.FillSummary(true), 280);
  const auto rows = db_->VersionRows();
  ASSERT_EQ(run.Summary().size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const SummaryRow& row = run.Summary()[i];
    EXPECT_EQ(row.table, rows[i].first);
    EXPECT_EQ(row.version, "2,8");  // the French decimal separator
    db::Table table(db_->session, "DB", row.table);
    table.Open();
    EXPECT_EQ(row.rows, std::to_string(table.RecordCount())) << row.table;
    EXPECT_EQ(row.fields, std::to_string(table.FieldCount())) << row.table;
    table.Close();
  }
  // A new log is created empty.
  EXPECT_TRUE(LogLines(db_->LogPath()).empty());
}

TEST_F(UpgradeRunTest, AnExistingLogGrowsByASeparatorLine) {
  { UpgradeRun first(db_->Setup()); }
  { UpgradeRun second(db_->Setup()); }
  { UpgradeRun third(db_->Setup()); }
  EXPECT_THAT(LogLines(db_->LogPath()), ElementsAre(" ", " "));
}

TEST_F(UpgradeRunTest, MissingTablesAreLoggedAndOnlyPatientOrExamenDisableTheUpgrade) {
  db_->SetVersion("Jeu", 2.5);
  fs::remove(db_->data_dir / "Ville.DB");
  {
    UpgradeRun run(db_->Setup());
    EXPECT_EQ(run.FillSummary(true), 250);
    const auto& summary = run.Summary();
    const auto ville = std::find_if(summary.begin(), summary.end(), [](const SummaryRow& r) { return r.table == "Ville"; });
    ASSERT_NE(ville, summary.end());
    EXPECT_EQ(ville->fields, "Table non trouvée");
    EXPECT_EQ(ville->rows, "");
    // Refreshing without logging adds no line.
    run.FillSummary(false);
  }
  EXPECT_THAT(LogLines(db_->LogPath()), ElementsAre("10/03/26 14:05:09 : Table non trouvée : Ville"));

  for (const char* table : {"Examen", "Patient"}) {
    for (const auto& entry : fs::directory_iterator(db_->data_dir))
      if (entry.path().stem() == table) fs::remove(entry.path());
    UpgradeRun run(db_->Setup());
    EXPECT_EQ(run.FillSummary(true), -1) << table;
  }
}

TEST_F(UpgradeRunTest, AVersionOfZeroOrEmptyGivesZero) {
  db_->SetVersion("Docs", 0);
  {
    UpgradeRun run(db_->Setup());
    EXPECT_EQ(run.FillSummary(false), 0);
  }
  db_->tVersion.Open();
  ASSERT_TRUE(db_->tVersion.FindKey({db::Value{std::string("Docs")}}));
  db_->tVersion.Edit();
  db_->tVersion.FieldByName("Version").Clear();
  db_->tVersion.Post();
  db_->tVersion.Close();
  UpgradeRun run(db_->Setup());
  EXPECT_EQ(run.FillSummary(false), 0);
  const auto& summary = run.Summary();
  const auto docs = std::find_if(summary.begin(), summary.end(), [](const SummaryRow& r) { return r.table == "Docs"; });
  ASSERT_NE(docs, summary.end());
  EXPECT_EQ(docs->version, "");
}

TEST_F(UpgradeRunTest, OnlyThePatientRowChoosesTheSteps) {
  db_->SetVersion("Patient", 2.3);
  db_->SetVersion("Jeu", 2.1);
  {
    UpgradeRun run(db_->Setup());
    EXPECT_EQ(run.FillSummary(false), 210);
    EXPECT_EQ(run.RunUpgrade(), 1);
  }
  EXPECT_EQ(LoggedLabels(db_->LogPath()), ExpectedLabels(230));
  EXPECT_THAT(ExpectedLabels(230), ElementsAre("Type - V2.4", "Patient - V2.5", "Mesure - V2.5", "Users - V2.8",
                                               "Version - V2.8"));
  EXPECT_TRUE(AllAt(280));
}

TEST_F(UpgradeRunTest, APatientRowAtTheCurrentVersionRunsNoStepButStampsEveryRow) {
  db_->SetVersion("Bilan", 2.5);
  db_->SetVersion("Docs", 1.0);
  {
    UpgradeRun run(db_->Setup());
    EXPECT_EQ(run.FillSummary(true), 100);
    EXPECT_EQ(run.RunUpgrade(), 1);
  }
  EXPECT_TRUE(LoggedLabels(db_->LogPath()).empty());
  EXPECT_TRUE(AllAt(280));
}

TEST_F(UpgradeRunTest, WithoutAPatientRowNothingRunsAndNothingIsStamped) {
  db_->SetVersion("Bilan", 2.5);
  db_->DeleteVersionRow("Patient");
  const auto before = db_->VersionRows();
  EXPECT_EQ(db_->RunUpgrade(), -1);
  EXPECT_EQ(db_->VersionRows(), before);
  EXPECT_TRUE(LoggedLabels(db_->LogPath()).empty());
}

TEST_F(UpgradeRunTest, StepLinesCarryTheDateAndTimeAndASecondRunDoesNothing) {
  db_->SetVersion("Patient", 2.5);
  EXPECT_EQ(db_->RunUpgrade(), 1);
  EXPECT_THAT(LogLines(db_->LogPath()), ElementsAre("10/03/26 14:05:09 : Mise à jour de la table Users - V2.8",
                                                    "10/03/26 14:05:09 : Mise à jour de la table Version - V2.8"));
  UpgradeRun again(db_->Setup());
  EXPECT_EQ(again.FillSummary(true), 280);  // the form's button stays disabled
  EXPECT_EQ(again.RunUpgrade(), 1);
  EXPECT_EQ(LoggedLabels(db_->LogPath()).size(), 2u);
  EXPECT_TRUE(AllAt(280));
}

}  // namespace
}  // namespace tabulor::upgrade::testing
