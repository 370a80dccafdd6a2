// The patient-file import wizard offscreen: a walk through every page over a
// generated Pedora file (a folder without .mdb, a file that is not a database,
// the user page with "Admin" chosen, the way back, the run with its counters,
// report and stored rows), and the user page without "Admin" over an empty file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "patient_file_import/gui/pedora_form.h"
#include "common/drive_box.h"
#include "common/wizard_texts.h"
#include "shell/formats.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::patient_file_import::gui {
namespace {

namespace fs = std::filesystem;

struct RecordingSink : shell::MessageSink {
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages, errors;
};

std::string S(const QString& text) { return text.toStdString(); }

class PedoraFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("pedora-form-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    schema::GeneratorOptions options;
    options.patients = 20;
    options.seed = 5;
    schema::GeneratePracticeDatabase(root_.string(), options);
    session_.AddAlias("PEDORA_FORM", schema::DataDirectory(root_.string()));
    DB_.SetAliasName("PEDORA_FORM");
    DB_.Open();
    // A user before "ADMIN" in the order of the names.
    db::Table users(session_, "DB", "Users.DB");
    users.Open();
    users.Append();
    users.FieldByName("NOM").SetAsString("AARON");
    users.Post();
    shell::SetShortDateFormat("dd/mm/yyyy");
    context_.session = &session_;
    context_.program_dir = root_.string() + "/";
    context_.messages = &sink_;
  }
  void TearDown() override {
    DB_.Close();
    fs::remove_all(root_);
  }

  // How many patients each user (FK_USE) has.
  std::map<int64_t, int64_t> PatientsByUser() {
    db::Table t(session_, "DB", "Patient.DB");
    t.Open();
    std::map<int64_t, int64_t> counts;
    for (t.First(); !t.Eof(); t.Next()) ++counts[t.FieldByName("FK_USE").AsInteger()];
    return counts;
  }
  int64_t UserKey(const std::string& name) {
    db::Table users(session_, "DB", "Users.DB");
    users.Open();
    EXPECT_TRUE(users.Locate("NOM", db::Value{name})) << name;
    return users.FieldByName("PK_USE").AsInteger();
  }
  std::vector<std::string> LogLines() {
    std::ifstream in(root_ / "IMPORT.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path root_;
  db::Session session_;
  db::Database DB_{session_, "DB"};
  RecordingSink sink_;
  shell::FunctionContext context_;
};

TEST_F(PedoraFormTest, WalksEveryPageAndImportsThePatientsUnderAdmin) {
  const fs::path empty = root_ / "empty", bad = root_ / "bad", source = root_ / "source";
  for (const fs::path& dir : {empty, bad, source}) fs::create_directories(dir);
  std::ofstream(empty / "notes.txt") << "no database here";
  std::ofstream(bad / "Patients.mdb") << "not an Access database";
  mkmdb::WritePedora((source / "cabinet.MDB").string(), 40, 9);
  std::ofstream(source / "cabinet.ldb") << "lock";
  const int64_t source_rows = 41;  // the fixture repeats its first patient
  const int64_t admin = UserKey("ADMIN");
  const std::map<int64_t, int64_t> before = PatientsByUser();

  const QString home = QString::fromStdString(root_.string());
  std::optional<tabulor::testing::HomeFolder> home_folder(home);
  TfmPedora form(nullptr, context_);
  home_folder.reset();
  form.show();
  EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yy");
  EXPECT_EQ(S(form.windowTitle()), "Assistant pour l'importation d'une base de données");
  EXPECT_EQ(S(form.Titre->text()), "Importation d'un fichier patient Pedora");
  EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
  EXPECT_EQ(form.SourceDirectory(), QDir::currentPath()) << "the lists open on the working directory";
  EXPECT_TRUE(form.btNextIntro->isDefault());

  form.SetSourceDirectory(QString::fromStdString(empty.string()));
  EXPECT_EQ(form.Files->count(), 0);
  EXPECT_FALSE(form.btNextIntro->isEnabled());

  form.SetSourceDirectory(QString::fromStdString(bad.string()));
  ASSERT_TRUE(form.btNextIntro->isEnabled());
  form.btNextIntro->click();
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0].rfind("Connection à la base de données " + bad.string() + " impossible\r\r", 0), 0u)
      << sink_.messages[0];
  EXPECT_GT(sink_.messages[0].size(), bad.string().size() + 45) << "the reason is missing";
  EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
  EXPECT_FALSE(form.btNextIntro->isEnabled());

  form.SetSourceDirectory(QString::fromStdString(source.string()));
  ASSERT_EQ(form.Files->count(), 1) << "only the .mdb file, whatever the case of its extension";
  EXPECT_EQ(S(form.Files->item(0)->text()), "cabinet.MDB");
  tabulor::testing::CheckDriveBox(
      form.dbDrive, form.dbPath, home, QString::fromStdString(source.string()), [&] { return form.SourceDirectory(); },
      [&] { return form.btNextIntro->isEnabled(); });
  ASSERT_TRUE(form.btNextIntro->isEnabled());
  form.FilesDblClick();
  ASSERT_EQ(form.pages->currentWidget(), form.pgUser) << (sink_.messages.size() > 1 ? sink_.messages[1] : "");
  EXPECT_TRUE(form.btNextIntro->isEnabled());
  EXPECT_EQ(S(form.lPat->text()), std::to_string(source_rows));
  EXPECT_TRUE(form.btNextUser->isDefault());
  ASSERT_GE(form.dbgUser->rowCount(), 2);
  EXPECT_EQ(S(form.dbgUser->item(0, 0)->text()), "AARON");
  ASSERT_EQ(form.dbgUser->currentRow(), 1);
  EXPECT_EQ(S(form.dbgUser->item(1, 0)->text()), "ADMIN");

  // Back to the source and on again: the same file, "Admin" chosen again.
  form.btPriorUser->click();
  EXPECT_EQ(form.pages->currentWidget(), form.pgIntro);
  form.btNextIntro->click();
  ASSERT_EQ(form.pages->currentWidget(), form.pgUser);
  EXPECT_EQ(form.dbgUser->currentRow(), 1);
  form.btNextUser->click();
  EXPECT_EQ(form.pages->currentWidget(), form.pgImport);
  EXPECT_EQ(S(form.dbUser->text()), "ADMIN");
  EXPECT_TRUE(form.btNextImport->isDefault());
  EXPECT_EQ(S(form.dbName->text()), (source / "cabinet.MDB").string());
  EXPECT_TRUE(form.lMes->text().isEmpty());
  form.btPriorImport->click();
  EXPECT_EQ(form.pages->currentWidget(), form.pgUser);
  form.btNextUser->click();

  form.btNextImport->click();
  EXPECT_EQ(form.pages->currentWidget(), form.pgProcess);
  EXPECT_FALSE(form.RunUnderWay());
  EXPECT_TRUE(sink_.errors.empty()) << sink_.errors[0];
  EXPECT_TRUE(form.btClose->isEnabled());
  EXPECT_FALSE(form.Progress->isVisibleTo(&form));
  EXPECT_FALSE(form.LabProg->isVisibleTo(&form));
  EXPECT_EQ(form.Progress->maximum(), source_rows);

  // Every source patient is counted once; the new ones are Admin's.
  const int64_t imported = form.labPat->text().toLongLong();
  const int64_t existing = form.labExistPat->text().toLongLong();
  EXPECT_GT(imported, 0);
  EXPECT_GE(existing, 1);
  EXPECT_EQ(imported + existing, source_rows);
  std::map<int64_t, int64_t> expected = before;
  expected[admin] += imported;
  EXPECT_EQ(PatientsByUser(), expected);
  for (QLabel* label : {form.labMes, form.labType, form.labNorme, form.labJeu}) EXPECT_TRUE(label->text().isEmpty());

  // The report tells what the log tells, line for line.
  const QStringList report = form.reReport->toPlainText().split('\n', Qt::SkipEmptyParts);
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(static_cast<size_t>(report.size()), log.size());
  EXPECT_EQ(report.filter(" : Patient existant").size(), existing);
  EXPECT_GT(report.filter(" : Date de naissance complétée").size(), 0);
  EXPECT_GT(report.filter(" : Prénom à complété").size(), 0);
  for (const std::string& line : log) EXPECT_EQ(line.back(), '\r') << line;

  form.btClose->click();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(shell::ShortDateFormat(), "dd/mm/yy") << "the wizard never sets the format back";
}

TEST_F(PedoraFormTest, WithoutAdminTheGridKeepsItsFirstRowAndAnEmptyFileEndsAtOnce) {
  {
    db::Table users(session_, "DB", "Users.DB");
    users.Open();
    ASSERT_TRUE(users.Locate("NOM", db::Value{std::string("ADMIN")}));
    users.Edit();
    users.FieldByName("NOM").SetAsString("ADMINISTRATEUR");
    users.Post();
  }
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  mkmdb::WritePedora((source / "vide.mdb").string(), 0, 1);
  const std::map<int64_t, int64_t> before = PatientsByUser();

  TfmPedora form(nullptr, context_);
  form.show();
  form.SetSourceDirectory(QString::fromStdString(source.string()));
  form.btNextIntro->click();
  ASSERT_EQ(form.pages->currentWidget(), form.pgUser);
  EXPECT_EQ(S(form.lPat->text()), "0");
  ASSERT_EQ(form.dbgUser->currentRow(), 0);
  form.btNextUser->click();
  EXPECT_EQ(S(form.dbUser->text()), "AARON");
  form.btNextImport->click();
  EXPECT_TRUE(form.btClose->isEnabled());
  EXPECT_TRUE(form.labPat->text().isEmpty());
  EXPECT_TRUE(form.labExistPat->text().isEmpty());
  EXPECT_TRUE(form.reReport->toPlainText().isEmpty());
  EXPECT_EQ(PatientsByUser(), before);
}

// With the English module beside the program the wizard is English.
TEST_F(PedoraFormTest, InEnglishWithTheEnglishModule) {
  TfmPedora french(nullptr, context_);
  ASSERT_TRUE(shell::SwitchLanguage(shell::kLocaleEnglish, TABULOR_BUILD_DIR "/"));
  TfmPedora form(nullptr, context_);
  shell::SwitchLanguage(shell::kLocaleFrench, {});
  EXPECT_EQ(S(form.windowTitle()), "Database import wizard");
  EXPECT_EQ(S(form.Titre->text()), "Import a Pedora patient file");
  EXPECT_EQ(S(form.btNextIntro->text()), "&Next >");
  EXPECT_EQ(S(form.btPriorUser->text()), "< &Back");
  EXPECT_EQ(S(form.btNextImport->text()), "&Start");
  EXPECT_EQ(S(form.LabProg->text()), "Importing ... Please wait.");
  EXPECT_EQ(S(form.dbgUser->horizontalHeaderItem(0)->text()), "Name");
  tabulor::testing::ExpectEveryTextTranslated(french, form);
}

}  // namespace
}  // namespace tabulor::patient_file_import::gui

int main(int argc, char** argv) {
  // The test list is also read without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
