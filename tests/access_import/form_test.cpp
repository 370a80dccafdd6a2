// The Access import wizard offscreen: both modes, the page flow, the counts,
// the user page and the date format around the wizard's life.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <filesystem>

#include "access_import/gui/mdb_import_form.h"
#include "db/schema/generator/generator.h"
#include "shell/access_formats.h"
#include "shell/formats.h"
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
    TfmMdbImport form(nullptr, context_, full);
    form.show();
    EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yy");
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_EQ(form.Titre->text().toStdString(),
              full ? "Importation d'une base de données ACCESS" : "Importation des patients d'une base ACCESS");
    form.SetSourceDirectory(QString::fromStdString((root_ / "empty").string()));
    EXPECT_FALSE(form.btNextIntro->isEnabled()) << "no Balantis2000.mdb here";
    form.SetSourceDirectory(QString::fromStdString((root_ / "source").string()));
    ASSERT_TRUE(form.btNextIntro->isEnabled());
    ASSERT_EQ(form.Files->count(), 1);
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
    form.btNextUser->click();
    EXPECT_EQ(form.pages->currentWidget(), form.pgImport);
    EXPECT_EQ(form.dbUser->text(), form.dbgUser->item(form.dbgUser->rowCount() - 1, 0)->text());
    EXPECT_FALSE(form.dbName->text().isEmpty());
    form.btNextImport->click();
    EXPECT_EQ(form.pages->currentWidget(), form.pgProcess);
    EXPECT_TRUE(form.btClose->isEnabled());
    EXPECT_FALSE(form.Progress->isVisibleTo(&form));
    EXPECT_EQ(form.labPat->text().toInt() + form.labExistPat->text().toInt(), 9);
    EXPECT_EQ(!form.labMes->text().isEmpty(), full);
    EXPECT_EQ(form.labMes->isVisibleTo(&form), full);
    EXPECT_FALSE(form.reReport->toPlainText().isEmpty());
    form.btClose->click();
    EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yyyy");
  }
  EXPECT_TRUE(fs::exists(root_ / "IMPORT.log"));
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
