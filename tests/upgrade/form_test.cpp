// The upgrade form on the offscreen platform: the summary grid, the state of
// its button, the run from the button with its message and its close, and a
// failed run that keeps the form open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "practice_db.h"
#include "shell/language.h"
#include "upgrade/gui/db_upgrade_form.h"

namespace tabulor::upgrade::testing {
namespace {

using gui::TfmDBUpgrade;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct RecordingSink : shell::MessageSink {
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages, errors;
};

class UpgradeFormTest : public ::testing::Test {
 protected:
  void Open(int version) {
    Generate(scratch_.path(), version);
    db_ = std::make_unique<PracticeDb>(scratch_.path());
  }
  std::unique_ptr<TfmDBUpgrade> Form() {
    gui::UpgradeFormSetup setup;
    setup.run = db_->Setup();
    setup.messages = &sink_;
    return std::make_unique<TfmDBUpgrade>(nullptr, std::move(setup));
  }
  static std::string Cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text().toStdString() : std::string();
  }
  static std::vector<std::string> Column(const QTableWidget* grid, int column) {
    std::vector<std::string> values;
    for (int row = 0; row < grid->rowCount(); ++row) values.push_back(Cell(grid, row, column));
    return values;
  }

  ScratchDir scratch_;
  std::unique_ptr<PracticeDb> db_;
  RecordingSink sink_;
};

TEST_F(UpgradeFormTest, ShowsEveryVersionRowWithItsCountsAndDisablesTheButtonWhenUpToDate) {
  Open(280);
  auto form = Form();
  EXPECT_EQ(form->windowTitle().toStdString(), "Mise à jour");
  form->show();
  const QTableWidget* grid = form->grid();
  ASSERT_EQ(grid->columnCount(), 4);
  std::vector<std::string> headers;
  for (int c = 0; c < 4; ++c) headers.push_back(grid->horizontalHeaderItem(c)->text().toStdString());
  EXPECT_THAT(headers, ElementsAre("Table", "Version ", "Nb. d'enregistrements", "Nb. de champs"));

  const auto rows = db_->VersionRows();
  ASSERT_EQ(grid->rowCount(), static_cast<int>(rows.size()));
  for (int i = 0; i < grid->rowCount(); ++i) {
    EXPECT_EQ(Cell(grid, i, 0), rows[i].first);
    EXPECT_EQ(Cell(grid, i, 1), "2,8");
  }
  db::Table table(db_->session, "DB", "Patient");
  table.Open();
  const auto names = Column(grid, 0);
  const int row = static_cast<int>(std::find(names.begin(), names.end(), "Patient") - names.begin());
  EXPECT_EQ(Cell(grid, row, 2), std::to_string(table.RecordCount()));
  EXPECT_EQ(Cell(grid, row, 3), std::to_string(table.FieldCount()));
  EXPECT_FALSE(form->upgradeButton()->isEnabled());
  EXPECT_TRUE(form->upgradeButton()->isDefault());
}

TEST_F(UpgradeFormTest, AMissingPatientTableDisablesTheButtonAndShowsTableNonTrouvee) {
  Open(250);
  for (const auto& entry : fs::directory_iterator(db_->data_dir))
    if (entry.path().stem() == "Patient") fs::remove(entry.path());
  auto form = Form();
  form->show();
  const auto names = Column(form->grid(), 0);
  const int row = static_cast<int>(std::find(names.begin(), names.end(), "Patient") - names.begin());
  ASSERT_LT(row, form->grid()->rowCount());
  EXPECT_EQ(Cell(form->grid(), row, 2), "");
  EXPECT_EQ(Cell(form->grid(), row, 3), "Table non trouvée");
  EXPECT_FALSE(form->upgradeButton()->isEnabled());
  EXPECT_THAT(LogLines(db_->LogPath()), ElementsAre(::testing::EndsWith(" : Table non trouvée : Patient")));
}

TEST_F(UpgradeFormTest, TheButtonRunsTheUpgradeRefreshesTheGridTellsTheUserAndCloses) {
  Open(230);
  auto form = Form();
  form->show();
  ASSERT_TRUE(form->upgradeButton()->isEnabled());
  EXPECT_THAT(Column(form->grid(), 1), ::testing::Each("2,3"));

  form->upgradeButton()->click();
  EXPECT_THAT(sink_.errors, IsEmpty());
  EXPECT_THAT(sink_.messages, ElementsAre("Mise à jour terminée"));
  EXPECT_THAT(Column(form->grid(), 1), ::testing::Each("2,8"));
  EXPECT_FALSE(form->upgradeButton()->isEnabled());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(LoggedLabels(db_->LogPath()), ExpectedLabels(230));
}

TEST_F(UpgradeFormTest, AFailedRunShowsTheErrorAndTheFormStaysOpen) {
  Open(230);
  for (const auto& entry : fs::directory_iterator(db_->data_dir))
    if (entry.path().stem() == "Mesure") fs::remove(entry.path());
  auto form = Form();
  form->show();
  form->upgradeButton()->click();
  ASSERT_EQ(sink_.errors.size(), 1u);
  EXPECT_THAT(sink_.errors[0], ::testing::HasSubstr("Mesure"));
  EXPECT_THAT(sink_.messages, IsEmpty());
  EXPECT_TRUE(form->isVisible());
  for (const auto& [name, version] : db_->VersionRows()) EXPECT_EQ(version, 230) << name;
}

TEST_F(UpgradeFormTest, QuitClosesWithoutARun) {
  Open(230);
  auto form = Form();
  form->show();
  form->quitButton()->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_THAT(LoggedLabels(db_->LogPath()), IsEmpty());
}

// With the English module beside the program the form is English.
TEST_F(UpgradeFormTest, InEnglishWithTheEnglishModule) {
  Open(230);
  ASSERT_TRUE(shell::SwitchLanguage(shell::kLocaleEnglish, TABULOR_BUILD_DIR "/"));
  auto form = Form();
  shell::SwitchLanguage(shell::kLocaleFrench, {});
  EXPECT_EQ(form->windowTitle().toStdString(), "Upgrade");
  EXPECT_EQ(form->upgradeButton()->text().toStdString(), "&Upgrade");
  EXPECT_EQ(form->quitButton()->text().toStdString(), "&Quit");
  std::vector<std::string> headers;
  for (int c = 0; c < 4; ++c) headers.push_back(form->grid()->horizontalHeaderItem(c)->text().toStdString());
  EXPECT_THAT(headers, ElementsAre("Table", "Version ", "No. of records", "No. of fields"));
}

}  // namespace
}  // namespace tabulor::upgrade::testing

int main(int argc, char** argv) {
  // The test list is also read without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
