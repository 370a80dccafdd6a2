#include "patient_file_import/gui/pedora_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <limits>

#include "shell/formats.h"
#include "shell/gui/wizard_page.h"

namespace tabulor::patient_file_import::gui {
namespace {

constexpr char kTagProperty[] = "tag";
constexpr char kModalResultProperty[] = "modalResult";
constexpr int kNoResult = -1;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TfmPedora::TfmPedora(QWidget* owner, shell::FunctionContext context)
    : QDialog(owner), context_(std::move(context)), import_(context_) {
  setObjectName("fmPedora");
  BuildWindow();
  FormCreate();
}

// The connection and whatever practice table the run opened go with the form.
TfmPedora::~TfmPedora() = default;

QPushButton* TfmPedora::Button(const char* text, int tag, int modal_result, QWidget* page) {
  auto* button = new QPushButton(shell::gui::WizardText(text), page);
  button->setProperty(kTagProperty, tag);
  button->setProperty(kModalResultProperty, modal_result);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, button] { btNavigation(button); });
  return button;
}

void TfmPedora::BuildWindow() {
  pages = shell::gui::BuildWizardWindow(this);

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
  btNextIntro = Button("&Suivant >", kOpenSource, kNoResult, pgIntro);
  btIntroCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgIntro);
  intro.Buttons({btNextIntro, btIntroCancel});
  connect(drives_, &shell::gui::DriveDirectoryLists::DirectoryChosen, this, &TfmPedora::SetSourceDirectory);
  connect(Files, &QListWidget::currentRowChanged, this, [this] { FilesChange(); });
  connect(Files, &QListWidget::itemDoubleClicked, this, [this] { FilesDblClick(); });

  shell::gui::WizardPage user(pages, "pgUser");
  pgUser = user.page();
  user.Caption("Définissez l'utilisateur courant :");
  dbgUser = new QTableWidget(0, 1, pgUser);
  dbgUser->setHorizontalHeaderLabels({shell::gui::WizardText("Nom")});
  dbgUser->horizontalHeader()->setStretchLastSection(true);
  dbgUser->verticalHeader()->hide();
  dbgUser->setSelectionBehavior(QAbstractItemView::SelectRows);
  dbgUser->setSelectionMode(QAbstractItemView::SingleSelection);
  dbgUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
  user.column()->addWidget(dbgUser, 1);
  btPriorUser = Button("< &Précédent", kBackToSource, kNoResult, pgUser);
  btNextUser = Button("&Suivant >", kUserChosen, kNoResult, pgUser);
  btUserCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgUser);
  user.Buttons({btPriorUser, btNextUser, btUserCancel});

  shell::gui::WizardPage summary(pages, "pgImport");
  pgImport = summary.page();
  summary.SummaryHead(&dbName, &dbUser);
  PanelContenu = new QWidget(pgImport);
  shell::gui::FillCountPanel(PanelContenu, {{"Patient(s) :", &lPat},
                                            {"Mesure(s) :", &lMes},
                                            {"Type(s) :", &lType},
                                            {"Exercice(s) :", &lJeu}});
  summary.column()->addWidget(PanelContenu);
  summary.Notice("Les champs NOM, PRENOM et DATE de NAISSANCE non renseignés seront remplis avec une valeur par "
                 "défaut ! Ces champs sont obligatoires dans Ortalis.",
                 QStyle::SP_MessageBoxWarning);
  summary.Notice("L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne "
                 "peut pas être interrompu !",
                 QStyle::SP_MessageBoxWarning);
  summary.column()->addStretch();
  btPriorImport = Button("< &Précédent", kBackToUser, kNoResult, pgImport);
  btNextImport = Button("&Commencer", kStartRun, kNoResult, pgImport);
  btImportCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgImport);
  summary.Buttons({btPriorImport, btNextImport, btImportCancel});

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
  btClose = Button("&Ok", kNoMove, QDialog::Accepted, pgProcess);
  process.Buttons({btClose});
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
    case kUserChosen: {
      const int row = dbgUser->currentRow();
      dbUser->setText(row >= 0 && row < dbgUser->rowCount() ? dbgUser->item(row, 0)->text() : QString());
      ShowPage(pgImport);
      break;
    }
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
  dbgUser->setRowCount(0);
  user_keys_.clear();
  for (const PatientFileUser& user : import_.Users()) {
    const int row = dbgUser->rowCount();
    dbgUser->insertRow(row);
    dbgUser->setItem(row, 0, new QTableWidgetItem(Q(user.name)));
    user_keys_.push_back(user.key);
  }
  // The grid opens on its first row; "Admin", when there is one, is chosen instead.
  if (user_keys_.empty()) return;
  int selected = 0;
  if (const std::optional<int64_t> admin = import_.FindUser("Admin")) {
    const auto it = std::find(user_keys_.begin(), user_keys_.end(), *admin);
    if (it != user_keys_.end()) selected = static_cast<int>(it - user_keys_.begin());
  }
  dbgUser->selectRow(selected);
}

void TfmPedora::RunImport() {
  btClose->setEnabled(false);
  const int row = dbgUser->currentRow();
  const std::optional<int64_t> user_key =
      row >= 0 && row < static_cast<int>(user_keys_.size()) ? std::optional<int64_t>(user_keys_[row]) : std::nullopt;
  running_ = true;
  try {
    import_.Run(user_key, *this);
  } catch (const std::exception& e) {
    running_ = false;
    // The run ended early: the wizard can only be closed with its close box.
    context_.Messages().ShowError(e.what());
    if (close_requested_) QDialog::reject();
    return;
  }
  running_ = false;
  btClose->setEnabled(true);
  LabProg->hide();
  Progress->hide();
  if (close_requested_) QDialog::reject();
}

void TfmPedora::Started(int64_t patients) {
  Progress->setRange(0, static_cast<int>(std::min<int64_t>(patients, std::numeric_limits<int>::max())));
  Progress->setValue(0);
}

void TfmPedora::Progressed(int64_t done) {
  Progress->setValue(static_cast<int>(std::min<int64_t>(done, std::numeric_limits<int>::max())));
  QApplication::processEvents();
}

void TfmPedora::CountsChanged(const PatientFileCounts& counts) {
  // A counter shows once it has counted something.
  const QString imported = counts.imported == 0 ? QString() : QString::number(counts.imported);
  if (labPat->text() != imported) {
    labPat->setText(imported);
    labPat->repaint();
  }
  labExistPat->setText(counts.existing == 0 ? QString() : QString::number(counts.existing));
}

void TfmPedora::Reported(const std::string& line) {
  QString text = Q(line);
  text.replace('\r', '\n');
  reReport->append(text);
}

void TfmPedora::reject() {
  if (running_) {
    close_requested_ = true;
    return;
  }
  QDialog::reject();
}

void TfmPedora::closeEvent(QCloseEvent* event) {
  if (running_) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace tabulor::patient_file_import::gui
