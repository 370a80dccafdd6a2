#include "patient_file_import/gui/pedora_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "shell/formats.h"
#include "shell/gui/wizard_page.h"

namespace tabulor::patient_file_import::gui {
namespace {

constexpr char kTagProperty[] = "tag";
constexpr char kModalResultProperty[] = "modalResult";
constexpr int kNoResult = -1;

}  // namespace

TfmPedora::TfmPedora(QWidget* owner, shell::FunctionContext context)
    : ImportWizard(owner), context_(std::move(context)), import_(context_) {
  setObjectName("fmPedora");
  BuildWindow();
  FormCreate();
}

// The connection and whatever practice table the run opened go with the form.
TfmPedora::~TfmPedora() = default;

QPushButton* TfmPedora::Tagged(QPushButton* button, int tag, int modal_result) {
  button->setProperty(kTagProperty, tag);
  button->setProperty(kModalResultProperty, modal_result);
  connect(button, &QPushButton::clicked, this, [this, button] { btNavigation(button); });
  return button;
}

void TfmPedora::BuildWindow() {
  shell::gui::WizardPage intro(pages, "pgIntro");
  pgIntro = intro.page();
  Titre = intro.Title("Importation d'un fichier patient Pedora");
  intro.Caption("Base de données à importer :");
  drives_ = new shell::gui::DriveDirectoryLists(pgIntro);
  dbDrive = drives_->drive();
  dbPath = drives_->directories();
  Files = new QListWidget(pgIntro);
  Files->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* grid = new QGridLayout;
  grid->addWidget(shell::gui::WizardLabel("Disque :", pgIntro), 0, 0);
  grid->addWidget(dbDrive, 1, 0);
  grid->addWidget(shell::gui::WizardLabel("Répertoire :", pgIntro), 2, 0);
  grid->addWidget(dbPath, 3, 0);
  grid->addWidget(shell::gui::WizardLabel("Contenu :", pgIntro), 0, 1);
  grid->addWidget(Files, 1, 1, 3, 1);
  grid->setRowStretch(3, 1);
  intro.column()->addLayout(grid, 1);
  btNextIntro = Tagged(intro.Button("&Suivant >"), kOpenSource, kNoResult);
  btIntroCancel = Tagged(intro.Button("&Annuler"), kNoMove, QDialog::Rejected);
  intro.Buttons({btNextIntro, btIntroCancel});
  connect(drives_, &shell::gui::DriveDirectoryLists::DirectoryChosen, this, &TfmPedora::SetSourceDirectory);
  connect(Files, &QListWidget::currentRowChanged, this, [this] { FilesChange(); });
  connect(Files, &QListWidget::itemDoubleClicked, this, [this] { FilesDblClick(); });

  shell::gui::WizardPage user(pages, "pgUser");
  pgUser = user.page();
  dbgUser = user.UserGrid();
  btPriorUser = Tagged(user.Button("< &Précédent"), kBackToSource, kNoResult);
  btNextUser = Tagged(user.Button("&Suivant >"), kUserChosen, kNoResult);
  btUserCancel = Tagged(user.Button("&Annuler"), kNoMove, QDialog::Rejected);
  user.Buttons({btPriorUser, btNextUser, btUserCancel});

  shell::gui::WizardPage summary(pages, "pgImport");
  pgImport = summary.page();
  summary.SummaryHead(&dbName, &dbUser);
  PanelContenu = summary.CountPanel(
      "PanelContenu", {{"Patient(s) :", &lPat}, {"Mesure(s) :", &lMes}, {"Type(s) :", &lType}, {"Exercice(s) :", &lJeu}});
  summary.Notice("Les champs NOM, PRENOM et DATE de NAISSANCE non renseignés seront remplis avec une valeur par "
                 "défaut ! Ces champs sont obligatoires dans Ortalis.",
                 QStyle::SP_MessageBoxWarning);
  summary.Notice("L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne "
                 "peut pas être interrompu !",
                 QStyle::SP_MessageBoxWarning);
  summary.column()->addStretch();
  btPriorImport = Tagged(summary.Button("< &Précédent"), kBackToUser, kNoResult);
  btNextImport = Tagged(summary.Button("&Commencer"), kStartRun, kNoResult);
  btImportCancel = Tagged(summary.Button("&Annuler"), kNoMove, QDialog::Rejected);
  summary.Buttons({btPriorImport, btNextImport, btImportCancel});

  // Only "Patient(s) :" and labExistPat count here; the other lines stay empty.
  BuildRunPage("PanelCompteRendu", &PanelCompteRendu,
               {{"Patient(s) :", &labPat},
                {"Mesure(s) :", &labMes},
                {"Type(s) :", &labType},
                {"Norme(s) :", &labNorme},
                {"Exercice(s) :", &labJeu}});
  Tagged(btClose, kNoMove, QDialog::Accepted);
  shell::gui::FixWizardSize(this, 560, 460);
}

void TfmPedora::FormCreate() {
  // The practice tables are opened by the first use of the run, not here: the
  // instance kept hidden from start-up must leave them to the other functions.
  shell::SetShortDateFormat("dd/mm/yy");
  // The lists open on the working directory, on its drive.
  SetSourceDirectory(QDir::currentPath());
  ShowPage(pgIntro);
}

void TfmPedora::ShowPage(QWidget* page) {
  pages->setCurrentWidget(page);
  // Enter on a page is its next button; a dialog has one default button at a time.
  if (page == pgIntro) btNextIntro->setDefault(true);
  if (page == pgUser) btNextUser->setDefault(true);
  if (page == pgImport) btNextImport->setDefault(true);
  if (page == pgProcess) btClose->setDefault(true);
}

void TfmPedora::SetSourceDirectory(const QString& directory) {
  directory_ = QDir::cleanPath(directory);
  drives_->Show(directory_);
  // One FilesChange for the whole refill, not one for each row.
  const QSignalBlocker quiet(Files);
  Files->clear();
  // Without QDir::CaseSensitive the filter takes ".MDB" too.
  Files->addItems(QDir(directory).entryList({"*.mdb"}, QDir::Files, QDir::Name | QDir::IgnoreCase));
  // With a file in the list one is always selected: the first, until another is chosen.
  if (Files->count() > 0) Files->setCurrentRow(0);
  FilesChange();
}

void TfmPedora::FilesChange() { btNextIntro->setEnabled(Files->count() > 0); }

void TfmPedora::FilesDblClick() { btNavigation(btNextIntro); }

void TfmPedora::btNavigation(QPushButton* sender) {
  switch (sender->property(kTagProperty).toInt()) {
    case kOpenSource:
      OpenSource();
      break;
    case kBackToSource:
      ShowPage(pgIntro);
      break;
    case kUserChosen:
      dbUser->setText(shell::gui::ChosenUserName(dbgUser));
      ShowPage(pgImport);
      break;
    case kBackToUser:
      ShowPage(pgUser);
      break;
    case kStartRun:
      ShowPage(pgProcess);
      RunImport();
      break;
    default:
      break;
  }
  if (const int result = sender->property(kModalResultProperty).toInt(); result != kNoResult) done(result);
}

void TfmPedora::OpenSource() {
  if (Files->count() == 0) return;
  const QListWidgetItem* file = Files->currentItem() ? Files->currentItem() : Files->item(0);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  btNextIntro->setEnabled(false);
  try {
    const int64_t patients = import_.OpenSource(directory_.toStdString(), file->text().toStdString());
    lPat->setText(QString::number(patients));
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    context_.Messages().ShowMessage(e.what());
    return;
  }
  try {
    btNextIntro->setEnabled(true);
    dbName->setText(QDir::toNativeSeparators(QDir(directory_).filePath(file->text())));
    ShowPage(pgUser);
    FillUsers();
  } catch (...) {
    QApplication::restoreOverrideCursor();
    throw;
  }
  QApplication::restoreOverrideCursor();
}

void TfmPedora::FillUsers() {
  shell::gui::ClearUserGrid(dbgUser);
  for (const PatientFileUser& user : import_.Users()) shell::gui::AddUserRow(dbgUser, user.name, user.key);
  // The grid opens on its first row; "Admin", when there is one, is chosen instead.
  if (dbgUser->rowCount() > 0) shell::gui::ChooseUser(dbgUser, import_.FindUser("Admin"));
}

void TfmPedora::RunImport() {
  // No user (an empty grid) leaves FK_USE null.
  const std::optional<int64_t> user_key = shell::gui::ChosenUserKey(dbgUser);
  Run(context_.Messages(), [this, user_key] { import_.Run(user_key, *this); });
}

void TfmPedora::Started(int64_t patients) { StartProgress(patients); }

void TfmPedora::Progressed(int64_t done) {
  MoveProgress(done);
  QApplication::processEvents();
}

void TfmPedora::CountsChanged(const PatientFileCounts& counts) {
  shell::gui::ShowCounter(labPat, counts.imported);
  shell::gui::ShowCounter(labExistPat, counts.existing);
}

void TfmPedora::Reported(const std::string& line) { AddReportLine(line); }

}  // namespace tabulor::patient_file_import::gui
