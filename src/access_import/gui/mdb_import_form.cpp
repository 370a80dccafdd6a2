#include "access_import/gui/mdb_import_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "access_import/access_import_run.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/gui/wizard_page.h"
#include "shell/log_file.h"

namespace tabulor::access_import::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TfmMdbImport::TfmMdbImport(QWidget* owner, shell::FunctionContext context, bool AccessFullImport)
    : QDialog(owner), context_(std::move(context)), full_(AccessFullImport) {
  BuildWindow();
  FormCreate();
}

TfmMdbImport::~TfmMdbImport() {
  // FormClose and FormDestroy: the four-digit years are back, the source is closed.
  shell::SetShortDateFormat("dd/mm/yyyy");
  source_.Close();
}

void TfmMdbImport::BuildWindow() {
  pages = shell::gui::BuildWizardWindow(this);

  shell::gui::WizardPage intro(pages, "pgIntro");
  pgIntro = intro.page();
  Titre = intro.Title("Importation d'une base de données ACCESS");
  intro.Caption("Base de données à importer :");
  drives_ = new shell::gui::DriveDirectoryLists(pgIntro);
  dbDrive = drives_->drive();
  dbPath = drives_->directories();
  auto* drive = new QHBoxLayout;
  drive->addWidget(shell::gui::WizardLabel("Disque :", pgIntro));
  drive->addWidget(dbDrive, 1);
  intro.column()->addLayout(drive);
  intro.column()->addWidget(dbPath, 1);
  intro.Caption("Contenu :");
  Files = new QListWidget(pgIntro);
  Files->setSelectionMode(QAbstractItemView::NoSelection);
  Files->setFocusPolicy(Qt::NoFocus);
  Files->setMaximumHeight(60);
  intro.column()->addWidget(Files);
  btNextIntro = intro.Button("&Suivant >");
  btIntroCancel = intro.Button("&Annuler");
  intro.Buttons({btNextIntro, btIntroCancel});
  connect(drives_, &shell::gui::DriveDirectoryLists::DirectoryChosen, this, &TfmMdbImport::SetSourceDirectory);
  connect(btNextIntro, &QPushButton::clicked, this, [this] { btNextIntroClick(); });
  connect(btIntroCancel, &QPushButton::clicked, this, &QDialog::reject);

  shell::gui::WizardPage user(pages, "pgUser");
  pgUser = user.page();
  user.Caption("Définissez l'utilisateur courant :");
  dbgUser = new QTableWidget(0, 1, pgUser);
  dbgUser->setHorizontalHeaderLabels({shell::gui::WizardText("Nom")});
  dbgUser->horizontalHeader()->setStretchLastSection(true);
  dbgUser->setSelectionBehavior(QAbstractItemView::SelectRows);
  dbgUser->setSelectionMode(QAbstractItemView::SingleSelection);
  dbgUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
  user.column()->addWidget(dbgUser, 1);
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
  PanelContenu = new QWidget(pgImport);
  shell::gui::FillCountPanel(PanelContenu, {{"Patient(s) :", &lPat},
                                            {"Mesure(s) :", &lMes},
                                            {"Type(s) :", &lType},
                                            {"Exercice(s) :", &lJeu}});
  summary.column()->addWidget(PanelContenu);
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

  shell::gui::WizardPage process(pages, "pgProcess");
  pgProcess = process.page();
  process.RunHead(&LabProg, &Progress);
  PanelCompteRendu = new QWidget(pgProcess);
  QGridLayout* report = shell::gui::FillCountPanel(PanelCompteRendu, {{"Patient(s) :", &labPat},
                                                                      {"Mesure(s) :", &labMes},
                                                                      {"Type(s) :", &labType},
                                                                      {"Norme(s) :", &labNorme},
                                                                      {"Exercice(s) :", &labJeu}});
  labExistPat = new QLabel(PanelCompteRendu);
  report->addWidget(labExistPat, 0, 2);
  process.column()->addWidget(PanelCompteRendu);
  reReport = process.Report();
  btClose = process.Button("&Ok");
  process.Buttons({btClose});
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
  dbgUser->setRowCount(0);
  user_keys_.clear();
  for (users.First(); !users.Eof(); users.Next()) {
    const int row = dbgUser->rowCount();
    dbgUser->insertRow(row);
    dbgUser->setItem(row, 0, new QTableWidgetItem(Q(users.FieldByName("NOM").AsString())));
    user_keys_.push_back(users.FieldByName("PK_USE").AsInteger());
  }
  if (!user_keys_.empty()) dbgUser->selectRow(0);
}

void TfmMdbImport::btPriorUserClick() {
  pages->setCurrentWidget(pgIntro);
  btNextIntro->setDefault(true);
  FilesChange();
}

void TfmMdbImport::btNextUserClick() {
  const int row = dbgUser->currentRow();
  dbUser->setText(row >= 0 && row < dbgUser->rowCount() ? dbgUser->item(row, 0)->text() : QString());
  pages->setCurrentWidget(pgImport);
  btNextImport->setDefault(true);
}

void TfmMdbImport::btPriorImportClick() {
  pages->setCurrentWidget(pgUser);
  btNextUser->setDefault(true);
}

void TfmMdbImport::btNextImportClick() {
  pages->setCurrentWidget(pgProcess);
  btClose->setEnabled(false);
  btClose->setDefault(true);
  for (QLabel* label : {labPat, labExistPat, labMes, labType, labNorme, labJeu}) label->clear();
  const int row = dbgUser->currentRow();
  const int32_t user_key = row >= 0 && row < static_cast<int>(user_keys_.size()) ? static_cast<int32_t>(user_keys_[row]) : 0;
  running_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    shell::LogFile log = shell::LogFile::InDirectory(context_.ProgramDirOrCurrent(), shell::kImportLogName);
    AccessImportRun run(context_.Session(), context_.database, source_, &log, *this, RunOptions{full_, user_key});
    run.Run();
    log.Close();
    btClose->setEnabled(true);
    LabProg->hide();
    Progress->hide();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    running_ = false;
    context_.Messages().ShowError(e.what());
    return;
  }
  QApplication::restoreOverrideCursor();
  running_ = false;
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

void TfmMdbImport::ReportLine(const std::string& text) {
  QString line = Q(text);
  line.replace('\r', '\n');
  reReport->append(line);
}

void TfmMdbImport::CounterChanged(Counter counter, int64_t value) {
  QLabel* label = CounterLabel(counter);
  label->setText(value == 0 ? QString() : QString::number(value));
  label->repaint();
}

void TfmMdbImport::ProgressStarted(int64_t patients) {
  Progress->setRange(0, static_cast<int>(std::min<int64_t>(patients, INT32_MAX)));
  Progress->setValue(0);
}

void TfmMdbImport::ProgressMoved(int64_t position) {
  Progress->setValue(static_cast<int>(std::min<int64_t>(position, INT32_MAX)));
}

void TfmMdbImport::ProcessPendingEvents() { QApplication::processEvents(); }

void TfmMdbImport::reject() {
  if (running_) return;  // the run cannot be interrupted
  QDialog::reject();
}

void TfmMdbImport::done(int result) {
  shell::SetShortDateFormat("dd/mm/yyyy");  // FormClose
  QDialog::done(result);
}

void TfmMdbImport::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace tabulor::access_import::gui
