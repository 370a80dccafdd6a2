// The database import wizard offscreen over generated databases: which
// directories it accepts, a source it cannot open, the counts and warnings of
// a current and of an old source without protocols, norms and exercises, and
// the run, whose counter labels must tell the rows really added.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "paradox_import/gui/db_import_form.h"
#include "common/drive_box.h"
#include "common/wizard_texts.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tabulor::paradox_import::gui {
namespace {

namespace fs = std::filesystem;

struct RecordingSink : shell::MessageSink {
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// The source tables a counts line stands for, with the labels of both panels.
struct Line {
  const char* table;
  QLabel* TfmDbImport::*count;
  QLabel* TfmDbImport::*counter;
};
const Line kLines[] = {
    {"Patient", &TfmDbImport::lPat, &TfmDbImport::labPat},    {"Examen", &TfmDbImport::lExa, &TfmDbImport::labExa},
    {"Mesure", &TfmDbImport::lMes, &TfmDbImport::labMes},     {"Pres", &TfmDbImport::lPres, &TfmDbImport::labPres},
    {"Users", &TfmDbImport::lUser, &TfmDbImport::labUser},    {"Prof", &TfmDbImport::lProf, &TfmDbImport::labProf},
    {"Path", &TfmDbImport::lPath, &TfmDbImport::labPath},     {"Type", &TfmDbImport::lType, &TfmDbImport::LabType},
    {"Norme", &TfmDbImport::lNorme, &TfmDbImport::labNorme},  {"Jeu", &TfmDbImport::lJeu, &TfmDbImport::labJeu}};

// Removes every file of the directory whose name, up to its first dot, is `table`.
void RemoveTable(const fs::path& dir, const std::string& table) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (shell::EqualsNoCase(name.substr(0, name.find('.')), table)) fs::remove(entry.path());
  }
}

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

class DbImportFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    working_dir_ = fs::current_path();
    root_ = fs::temp_directory_path() / ("db_import_form_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    schema::GeneratorOptions practice;
    practice.patients = 20;
    practice.seed = 1;
    schema::GeneratePracticeDatabase((root_ / "practice").string(), practice, session_);
    schema::GeneratorOptions current;
    current.patients = 12;
    current.seed = 7;
    current.share_seed = 1;
    current.share_patients = 20;
    current.share = 0.3;
    schema::GeneratePracticeDatabase((root_ / "other").string(), current, session_);
    // An old installation without protocols, norms, exercises nor its letters folder.
    schema::GeneratorOptions old;
    old.version = 0;
    old.patients = 5;
    old.seed = 9;
    schema::GeneratePracticeDatabase((root_ / "old").string(), old, session_);
    for (const char* table : {"Type", "Norme", "Jeu"}) RemoveTable(root_ / "old" / "DATA", table);
    fs::remove_all(root_ / "old" / "Documents");
    // Eight of the mask's files but no Clefs.DB; seven of them (no Data.db).
    fs::copy(root_ / "other" / "DATA", root_ / "noclefs", fs::copy_options::recursive);
    RemoveTable(root_ / "noclefs", "Clefs");
    fs::copy(root_ / "noclefs", root_ / "seven", fs::copy_options::recursive);
    RemoveTable(root_ / "seven", "Data");

    shell::SetShortDateFormat("dd/mm/yy");
    context_.session = &session_;
    context_.database = schema::DataDirectory((root_ / "practice").string());
    context_.program_dir = (root_ / "practice").string() + "/";
    context_.messages = &sink_;
  }
  void TearDown() override {
    fs::current_path(working_dir_);
    fs::remove_all(root_);
  }

  std::map<std::string, int64_t> RowCounts(const fs::path& dir) {
    std::map<std::string, int64_t> counts;
    for (const Line& line : kLines) {
      std::string name = std::string(line.table) + ".DB";
      if (!db::TableExists(session_, dir.string(), name) && name == "Users.DB") name = "User.DB";
      if (!db::TableExists(session_, dir.string(), name)) continue;
      db::Table table(session_, dir.string(), name);
      table.SetReadOnly(true);
      table.Open();
      counts[line.table] = table.RecordCount();
    }
    return counts;
  }
  void Choose(TfmDbImport& form, const fs::path& dir) { form.SetSourceDirectory(QString::fromStdString(dir.string())); }

  fs::path working_dir_;
  fs::path root_;
  db::Session session_;
  RecordingSink sink_;
  shell::FunctionContext context_;
};

TEST_F(DbImportFormTest, AcceptsOnlyAnotherDatabaseShowsItsContentsAndImportsIt) {
  const fs::path source = root_ / "other" / "DATA";
  const std::map<std::string, int64_t> in_source = RowCounts(source);
  const std::map<std::string, int64_t> before = RowCounts(root_ / "practice" / "DATA");
  ASSERT_GT(in_source.at("Type"), 0);
  ASSERT_GT(in_source.at("Jeu"), 0);
  const std::string log_path = context_.program_dir + "IMPORT.log";
  std::ofstream(log_path, std::ios::binary) << "earlier run\r\n";
  std::string report;
  {
    const QString home = QString::fromStdString(root_.string());
    std::optional<tabulor::testing::HomeFolder> home_folder(home);
    TfmDbImport form(nullptr, context_);
    home_folder.reset();
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Assistant pour l'importation d'une base de données");
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_EQ(form.SourceDirectory(), QDir::currentPath()) << "the list starts at the working directory";

    Choose(form, root_ / "seven");
    EXPECT_EQ(form.Files->count(), 7);
    EXPECT_FALSE(form.btNextIntro->isEnabled()) << "seven of the mask's files";
    Choose(form, root_ / "practice" / "DATA");
    EXPECT_EQ(form.Files->count(), 8);
    EXPECT_FALSE(form.btNextIntro->isEnabled()) << "the program's own database";

    // A directory the list accepts but whose database cannot be opened.
    Choose(form, root_ / "noclefs");
    ASSERT_TRUE(form.btNextIntro->isEnabled());
    form.btNextIntro->click();
    ASSERT_EQ(sink_.messages.size(), 1u);
    EXPECT_EQ(sink_.messages[0].rfind("Connection à la base de données " + (root_ / "noclefs").string() +
                                          " impossible\r\r",
                                      0),
              0u)
        << sink_.messages[0];
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_FALSE(form.btNextIntro->isEnabled()) << "until the list is filled again";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The current source, its videos moved away.
    fs::rename(root_ / "other" / "movies", root_ / "movies.away");
    Choose(form, source);
    EXPECT_EQ(fs::current_path(), source) << "the chosen directory becomes the working directory";
    EXPECT_EQ(form.Files->count(), 8);
    tabulor::testing::CheckDriveBox(
        form.dbDrive, form.dbPath, home, QString::fromStdString(source.string()),
        [&] { return form.SourceDirectory(); }, [&] { return form.btNextIntro->isEnabled(); });
    EXPECT_EQ(fs::current_path(), source);
    ASSERT_TRUE(form.btNextIntro->isEnabled());
    form.btNextIntro->click();
    ASSERT_EQ(form.pages->currentWidget(), form.pgImport) << sink_.messages.back();
    for (const Line& line : kLines) {
      EXPECT_EQ((form.*line.count)->text().toStdString(), std::to_string(in_source.at(line.table))) << line.table;
      EXPECT_TRUE((form.*line.count)->isVisibleTo(&form)) << line.table;
      EXPECT_FALSE((form.*line.counter)->isHidden()) << line.table;  // on the run's page
    }
    EXPECT_TRUE(form.cbType->isVisibleTo(&form));
    EXPECT_FALSE(form.cbType->isChecked());
    EXPECT_FALSE(form.cbClefs->isChecked());
    EXPECT_TRUE(form.labVideo->isVisibleTo(&form));
    EXPECT_FALSE(form.labDocs->isVisibleTo(&form));
    EXPECT_TRUE(form.imVideo->isVisibleTo(&form));
    form.cbType->setChecked(true);

    // Back, to the old source: its missing tables leave no line on either panel.
    form.btPriorImport->click();
    EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
    EXPECT_TRUE(form.btNextIntro->isEnabled());
    Choose(form, root_ / "old" / "DATA");
    EXPECT_EQ(form.Files->count(), 8) << "User.db in place of Users.db";
    form.btNextIntro->click();
    ASSERT_EQ(form.pages->currentWidget(), form.pgImport) << sink_.messages.back();
    EXPECT_EQ(form.lPat->text(), "5");
    for (QLabel* line : {form.LabelType, form.lType, form.LabelType2, form.LabType, form.LabelNorme, form.lNorme,
                         form.LabelNorme2, form.labNorme, form.LabelJeu, form.lJeu, form.LabelJeu2, form.labJeu})
      EXPECT_TRUE(line->isHidden()) << line->text().toStdString();
    EXPECT_FALSE(form.lUser->isHidden());
    EXPECT_FALSE(form.cbType->isVisibleTo(&form));
    EXPECT_FALSE(form.cbType->isChecked());
    EXPECT_FALSE(form.labVideo->isVisibleTo(&form)) << "its measurements name no video";
    EXPECT_TRUE(form.labDocs->isVisibleTo(&form));
    EXPECT_TRUE(form.imVideo->isVisibleTo(&form));

    // The current source again, whole, with its protocols and practice record.
    form.btPriorImport->click();
    fs::rename(root_ / "movies.away", root_ / "other" / "movies");
    Choose(form, source);
    form.btNextIntro->click();
    ASSERT_EQ(form.pages->currentWidget(), form.pgImport) << sink_.messages.back();
    EXPECT_EQ(form.dbName->text().toStdString(), source.string());
    EXPECT_FALSE(form.labVideo->isVisibleTo(&form));
    EXPECT_FALSE(form.imVideo->isVisibleTo(&form));
    EXPECT_FALSE(form.LabType->isHidden());
    EXPECT_TRUE(form.cbType->isVisibleTo(&form));
    form.cbType->setChecked(true);
    form.cbClefs->setChecked(true);
    form.btNextImport->click();

    EXPECT_EQ(sink_.messages.size(), 1u) << sink_.messages.back();
    EXPECT_EQ(form.pages->currentWidget(), form.pgProcess);
    EXPECT_TRUE(form.btClose->isEnabled());
    EXPECT_FALSE(form.LabProg->isVisibleTo(&form));
    EXPECT_FALSE(form.Progress->isVisibleTo(&form));
    EXPECT_EQ(form.Progress->maximum(), in_source.at("Patient"));
    report = form.reReport->toPlainText().toStdString();
    const std::map<std::string, int64_t> after = RowCounts(root_ / "practice" / "DATA");
    EXPECT_GT(after.at("Patient"), before.at("Patient"));
    for (const Line& line : kLines) {
      const int64_t added = after.at(line.table) - before.at(line.table);
      EXPECT_EQ((form.*line.counter)->text().toStdString(), added == 0 ? "" : std::to_string(added)) << line.table;
    }
    const int existing = Occurrences(report, " : Patient existant");
    EXPECT_GT(existing, 0) << report;
    EXPECT_EQ(form.labExistPat->text().toStdString(), std::to_string(existing));
    EXPECT_EQ(existing + form.labPat->text().toInt(), in_source.at("Patient"));
    form.btClose->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
  }
  // The log holds the report after the earlier run's lines and a line of one space.
  std::ifstream in(log_path, std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.rfind("earlier run\r\n \r\n", 0), 0u) << log.substr(0, 40);
  EXPECT_EQ(Occurrences(log, " : Patient existant\r\n"), Occurrences(report, " : Patient existant"));
}

// With the English module beside the program every text of the wizard is English.
TEST_F(DbImportFormTest, InEnglishWithTheEnglishModule) {
  TfmDbImport french(nullptr, context_);
  ASSERT_TRUE(shell::SwitchLanguage(shell::kLocaleEnglish, TABULOR_BUILD_DIR "/"));
  TfmDbImport english(nullptr, context_);
  shell::SwitchLanguage(shell::kLocaleFrench, {});
  EXPECT_EQ(english.windowTitle().toStdString(), "Database import wizard");
  tabulor::testing::ExpectEveryTextTranslated(french, english);
}

}  // namespace
}  // namespace tabulor::paradox_import::gui

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
