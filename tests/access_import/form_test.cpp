// The Access import wizard offscreen: both modes, the page flow, the counts,
// the user page, the date format around the wizard's life, and its closing:
// by "&Ok" after the full run, by the close box during the patients-only run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTreeView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>
#include <optional>

#include "access_import/gui/mdb_import_form.h"
#include "common/drive_box.h"
#include "common/wizard_texts.h"
#include "db/schema/generator/generator.h"
#include "shell/access_formats.h"
#include "shell/formats.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::access_import::gui {
namespace {

namespace fs = std::filesystem;

struct RecordingSink : shell::MessageSink {
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

class MdbImportFormTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("mdb_form_" + std::to_string(::getpid()) + (GetParam() ? "_full" : "_patients"));
    fs::remove_all(root_);
    schema::GeneratorOptions options;
    options.patients = 2;
    schema::GeneratePracticeDatabase(root_.string(), options, session_);
    mkmdb::WriteBalantis((root_ / "source").string(), {9, 4});
    fs::create_directories(root_ / "empty");
    shell::ShareFormatsWithAccessLayer();
    shell::SetShortDateFormat("dd/mm/yyyy");
    context_.session = &session_;
    context_.database = schema::DataDirectory(root_.string());
    context_.program_dir = root_.string() + "/";
    context_.messages = &sink_;
  }
  void TearDown() override { fs::remove_all(root_); }
  db::Session session_;
  fs::path root_;
  RecordingSink sink_;
  shell::FunctionContext context_;
};

TEST_P(MdbImportFormTest, WalksEveryPageAndRunsTheImport) {
  const bool full = GetParam();
  {
    const QString home = QString::fromStdString(root_.string());
    std::optional<tabulor::testing::HomeFolder> home_folder(home);
    TfmMdbImport form(nullptr, context_, full);
    home_folder.reset();
    form.show();
    EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yy");
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_EQ(form.SourceDirectory(), QDir::currentPath()) << "the lists open on the working directory";
    EXPECT_EQ(form.Titre->text().toStdString(),
              full ? "Importation d'une base de données ACCESS" : "Importation des patients d'une base ACCESS");
    form.SetSourceDirectory(QString::fromStdString((root_ / "empty").string()));
    EXPECT_FALSE(form.btNextIntro->isEnabled()) << "no Balantis2000.mdb here";
    form.SetSourceDirectory(QString::fromStdString((root_ / "source").string()));
    ASSERT_TRUE(form.btNextIntro->isEnabled());
    ASSERT_EQ(form.Files->count(), 1);
    tabulor::testing::CheckDriveBox(
        form.dbDrive, form.dbPath, home, QString::fromStdString((root_ / "source").string()),
        [&] { return form.SourceDirectory(); }, [&] { return form.btNextIntro->isEnabled(); });
    form.btNextIntro->click();
    ASSERT_EQ(form.pages->currentWidget(), form.pgUser) << (sink_.messages.empty() ? "" : sink_.messages[0]);
    EXPECT_EQ(form.lPat->text().toStdString(), "9");
    EXPECT_EQ(form.lType->text().toStdString(), "4");
    EXPECT_EQ(form.lMes->isVisibleTo(form.PanelContenu), full);
    ASSERT_GT(form.dbgUser->rowCount(), 0);
    form.btPriorUser->click();
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_TRUE(form.btNextIntro->isEnabled());
    form.btNextIntro->click();
    form.dbgUser->selectRow(form.dbgUser->rowCount() - 1);
    // Enter is the page's default button's, whichever button has the focus.
    QTest::keyClick(form.btPriorUser, Qt::Key_Return);
    EXPECT_EQ(form.pages->currentWidget(), form.pgImport);
    EXPECT_EQ(form.dbUser->text(), form.dbgUser->item(form.dbgUser->rowCount() - 1, 0)->text());
    EXPECT_FALSE(form.dbName->text().isEmpty());
    form.btPriorImport->click();
    EXPECT_EQ(form.pages->currentWidget(), form.pgUser);
    QTest::keyClick(form.btPriorUser, Qt::Key_Return);
    EXPECT_EQ(form.pages->currentWidget(), form.pgImport);
    // The close box during the run: refused while it works, honoured once it ends.
    bool closed_during_run = false;
    if (!full) QTimer::singleShot(0, &form, [&] { closed_during_run = form.RunUnderWay() && !form.close(); });
    QTest::keyClick(form.btPriorImport, Qt::Key_Return);
    EXPECT_EQ(form.pages->currentWidget(), form.pgProcess);
    EXPECT_TRUE(form.btClose->isEnabled());
    EXPECT_FALSE(form.Progress->isVisibleTo(&form));
    EXPECT_EQ(form.labPat->text().toInt() + form.labExistPat->text().toInt(), 9);
    EXPECT_EQ(!form.labMes->text().isEmpty(), full);
    EXPECT_EQ(form.labMes->isVisibleTo(&form), full);
    EXPECT_FALSE(form.reReport->toPlainText().isEmpty());
    if (full) {
      EXPECT_TRUE(form.isVisible());
      form.btClose->click();
      EXPECT_EQ(form.result(), QDialog::Accepted);
    } else {
      EXPECT_TRUE(closed_during_run);
    }
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yyyy");
  }
  EXPECT_TRUE(fs::exists(root_ / "IMPORT.log"));
}

// With the English module beside the program every text of the wizard is English.
TEST_P(MdbImportFormTest, InEnglishWithTheEnglishModule) {
  TfmMdbImport french(nullptr, context_, GetParam());
  ASSERT_TRUE(shell::SwitchLanguage(shell::kLocaleEnglish, TABULOR_BUILD_DIR "/"));
  TfmMdbImport english(nullptr, context_, GetParam());
  shell::SwitchLanguage(shell::kLocaleFrench, {});
  EXPECT_EQ(english.Titre->text().toStdString(),
            GetParam() ? "Import an ACCESS database" : "Import the patients of an ACCESS database");
  tabulor::testing::ExpectEveryTextTranslated(french, english);
}

INSTANTIATE_TEST_SUITE_P(Modes, MdbImportFormTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Full") : std::string("PatientsOnly"); });

}  // namespace
}  // namespace tabulor::access_import::gui

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
