#include "access_import/gui/mdb_import_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "access_import/access_import_run.h"
#include "db/paradox/engine.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/gui/wizard_page.h"
#include "shell/log_file.h"

namespace tabulor::access_import::gui {

TfmMdbImport::TfmMdbImport(QWidget* owner, shell::FunctionContext context, bool AccessFullImport)
    : ImportWizard(owner), context_(std::move(context)), full_(AccessFullImport) {
  BuildWindow();
  FormCreate();
}

TfmMdbImport::~TfmMdbImport() {
  // FormClose and FormDestroy: the four-digit years are back, the source is closed.
  shell::SetShortDateFormat("dd/mm/yyyy");
  source_.Close();
}

void TfmMdbImport::BuildWindow() {
  shell::gui::WizardPage intro(pages, "pgIntro");
  pgIntro = intro.page();
  Titre = intro.Title("Importation d'une base de données ACCESS");
  intro.Caption("Base de données à importer :");
  drives_ = new shell::gui::DriveDirectoryLists(pgIntro);
  dbDrive = drives_->drive();
  dbPath = drives_->directories();
  Files = intro.SourceLists(drives_);
  Files->setMaximumHeight(60);
  btNextIntro = intro.Button("&Suivant >");
  btIntroCancel = intro.Button("&Annuler");
  intro.Buttons({btNextIntro, btIntroCancel});
  connect(drives_, &shell::gui::DriveDirectoryLists::DirectoryChosen, this, &TfmMdbImport::SetSourceDirectory);
  connect(btNextIntro, &QPushButton::clicked, this, [this] { btNextIntroClick(); });
  connect(btIntroCancel, &QPushButton::clicked, this, &QDialog::reject);

  shell::gui::WizardPage user(pages, "pgUser");
  pgUser = user.page();
  dbgUser = user.UserGrid();
  btPriorUser = user.Button("< &Précédent");
  btNextUser = user.Button("&Suivant >");
  btUserCancel = user.Button("&Annuler");
  user.Buttons({btPriorUser, btNextUser, btUserCancel});
  connect(btPriorUser, &QPushButton::clicked, this, [this] { btPriorUserClick(); });
  connect(btNextUser, &QPushButton::clicked, this, [this] { btNextUserClick(); });
  connect(btUserCancel, &QPushButton::clicked, this, &QDialog::reject);

  shell::gui::WizardPage summary(pages, "pgImport");
  pgImport = summary.page();
  summary.SummaryHead(&dbName, &dbUser);
  PanelContenu = summary.CountPanel(
      "PanelContenu", {{"Patient(s) :", &lPat}, {"Mesure(s) :", &lMes}, {"Type(s) :", &lType}, {"Exercice(s) :", &lJeu}});
  for (const char* warning :
       {"L'importation d'un patient n'est possible que si les champs NOM, PRENOM et DATE de NAISSANCE sont "
        "renseignés !",
        "L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne peut "
        "pas être interrompu !"})
    summary.Caption(warning)->setWordWrap(true);
  summary.column()->addStretch();
  btPriorImport = summary.Button("< &Précédent");
  btNextImport = summary.Button("&Commencer");
  btImportCancel = summary.Button("&Annuler");
  summary.Buttons({btPriorImport, btNextImport, btImportCancel});
  connect(btPriorImport, &QPushButton::clicked, this, [this] { btPriorImportClick(); });
  connect(btNextImport, &QPushButton::clicked, this, [this] { btNextImportClick(); });
  connect(btImportCancel, &QPushButton::clicked, this, &QDialog::reject);

  BuildRunPage("PanelCompteRendu", &PanelCompteRendu,
               {{"Patient(s) :", &labPat},
                {"Mesure(s) :", &labMes},
                {"Type(s) :", &labType},
                {"Norme(s) :", &labNorme},
                {"Exercice(s) :", &labJeu}});
  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  shell::gui::FixWizardSize(this, 520, 480);
}

void TfmMdbImport::FormCreate() {
  if (!full_) {
    // Only the patient line of each panel shows.
    for (QWidget* panel : {PanelContenu, PanelCompteRendu}) {
      auto* lines = static_cast<QGridLayout*>(panel->layout());
      for (int row = 1; row < lines->rowCount(); ++row)
        for (int column = 0; column < lines->columnCount(); ++column)
          if (QLayoutItem* item = lines->itemAtPosition(row, column); item && item->widget()) item->widget()->hide();
    }
    Titre->setText(shell::gui::WizardText("Importation des patients d'une base ACCESS"));
  }
  shell::SetShortDateFormat("dd/mm/yy");
  btNextIntro->setDefault(true);
  pages->setCurrentWidget(pgIntro);
  // The lists open on the working directory, on its drive.
  SetSourceDirectory(QDir::currentPath());
}

void TfmMdbImport::SetSourceDirectory(const QString& directory) {
  directory_ = QDir::cleanPath(directory);
  drives_->Show(directory_);
  FilesChange();
}

void TfmMdbImport::FilesChange() {
  Files->clear();
  if (!directory_.isEmpty() && shell::FileExistsNoCase(directory_.toStdString() + "/", kBalantisFileName))
    Files->addItem(QString::fromUtf8(kBalantisFileName));
  btNextIntro->setEnabled(Files->count() == 1);
}

void TfmMdbImport::btNextIntroClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  btNextIntro->setEnabled(false);
  try {
    source_.Open(directory_.toStdString(), Files->item(0)->text().toStdString());
    lType->setText(QString::number(source_.type_count));
    lMes->setText(QString::number(source_.sequence_count));
    lJeu->setText(QString::number(source_.exercise_count));
    lPat->setText(QString::number(source_.patient_count));
    FillUsers();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    context_.Messages().ShowMessage(SourceOpenFailure(directory_.toStdString(), e.what()));
    return;
  }
  btNextIntro->setEnabled(true);
  dbName->setText(directory_);
  pages->setCurrentWidget(pgUser);
  btNextUser->setDefault(true);
  QApplication::restoreOverrideCursor();
}

void TfmMdbImport::FillUsers() {
  db::Table users(context_.Session(), context_.database, "Users.DB");
  users.SetIndexName("Utilisateur existant");
  users.Open();
  shell::gui::ClearUserGrid(dbgUser);
  for (users.First(); !users.Eof(); users.Next())
    shell::gui::AddUserRow(dbgUser, users.FieldByName("NOM").AsString(), users.FieldByName("PK_USE").AsInteger());
  shell::gui::ChooseUser(dbgUser, std::nullopt);
}

void TfmMdbImport::btPriorUserClick() {
  pages->setCurrentWidget(pgIntro);
  btNextIntro->setDefault(true);
  FilesChange();
}

void TfmMdbImport::btNextUserClick() {
  dbUser->setText(shell::gui::ChosenUserName(dbgUser));
  pages->setCurrentWidget(pgImport);
  btNextImport->setDefault(true);
}

void TfmMdbImport::btPriorImportClick() {
  pages->setCurrentWidget(pgUser);
  btNextUser->setDefault(true);
}

void TfmMdbImport::btNextImportClick() {
  // The selected user's key, 0 when the grid is empty.
  const auto user_key = static_cast<int32_t>(shell::gui::ChosenUserKey(dbgUser).value_or(0));
  Run(context_.Messages(), [this, user_key] {
    shell::LogFile log = shell::LogFile::InDirectory(context_.ProgramDirOrCurrent(), shell::kImportLogName);
    AccessImportRun run(context_.Session(), context_.database, source_, &log, *this, RunOptions{full_, user_key});
    run.Run();
    log.Close();
  });
}

QLabel* TfmMdbImport::CounterLabel(Counter counter) const {
  switch (counter) {
    case Counter::kPatients: return labPat;
    case Counter::kExistingPatients: return labExistPat;
    case Counter::kMeasurements: return labMes;
    case Counter::kExercises: return labJeu;
    case Counter::kNorms: return labNorme;
    case Counter::kTypes: return labType;
  }
  return labPat;
}

void TfmMdbImport::ReportLine(const std::string& text) { AddReportLine(text); }

void TfmMdbImport::CounterChanged(Counter counter, int64_t value) { shell::gui::ShowCounter(CounterLabel(counter), value); }

void TfmMdbImport::ProgressStarted(int64_t patients) { StartProgress(patients); }

void TfmMdbImport::ProgressMoved(int64_t position) { MoveProgress(position); }

void TfmMdbImport::ProcessPendingEvents() { QApplication::processEvents(); }

void TfmMdbImport::done(int result) {
  shell::SetShortDateFormat("dd/mm/yyyy");  // FormClose
  QDialog::done(result);
}

}  // namespace tabulor::access_import::gui
