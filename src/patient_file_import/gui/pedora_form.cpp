#include "patient_file_import/gui/pedora_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
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

namespace tabulor::patient_file_import::gui {
namespace {

constexpr char kTagProperty[] = "tag";
constexpr char kModalResultProperty[] = "modalResult";
constexpr int kNoResult = -1;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A text beside its warning picture.
QWidget* Warning(const QString& text) {
  auto* box = new QWidget;
  auto* h = new QHBoxLayout(box);
  h->setContentsMargins(0, 0, 0, 0);
  auto* picture = new QLabel;
  picture->setPixmap(box->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  h->addWidget(picture);
  h->addWidget(label, 1);
  return box;
}

QLabel* Bold(QLabel* label) {
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

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
  auto* button = new QPushButton(tr(text), page);
  button->setProperty(kTagProperty, tag);
  button->setProperty(kModalResultProperty, modal_result);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, button] { btNavigation(button); });
  return button;
}

void TfmPedora::BuildWindow() {
  setWindowTitle(tr("Assistant pour l'importation d'une base de données"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  pages = new QStackedWidget(this);
  layout->addWidget(pages);
  auto buttons_row = [](QVBoxLayout* page, std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons) row->addWidget(b);
    page->addLayout(row);
  };

  pgIntro = new QWidget;
  {
    auto* v = new QVBoxLayout(pgIntro);
    Titre = Bold(new QLabel(tr("Importation d'un fichier patient Pedora")));
    v->addWidget(Titre);
    v->addWidget(new QLabel(tr("Base de données à importer :")));
    auto* grid = new QGridLayout;
    dbDrive = new QComboBox;
    for (const QFileInfo& drive : QDir::drives()) dbDrive->addItem(QDir::toNativeSeparators(drive.absoluteFilePath()));
    directories_ = new QFileSystemModel(this);
    directories_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    dbPath = new QTreeView;
    dbPath->setModel(directories_);
    for (int column = 1; column < directories_->columnCount(); ++column) dbPath->hideColumn(column);
    dbPath->header()->hide();
    Files = new QListWidget;
    Files->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->addWidget(new QLabel(tr("Disque :")), 0, 0);
    grid->addWidget(dbDrive, 1, 0);
    grid->addWidget(new QLabel(tr("Répertoire :")), 2, 0);
    grid->addWidget(dbPath, 3, 0);
    grid->addWidget(new QLabel(tr("Contenu :")), 0, 1);
    grid->addWidget(Files, 1, 1, 3, 1);
    grid->setRowStretch(3, 1);
    v->addLayout(grid, 1);
    btNextIntro = Button("&Suivant >", kOpenSource, kNoResult, pgIntro);
    btIntroCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgIntro);
    buttons_row(v, {btNextIntro, btIntroCancel});
    connect(dbDrive, &QComboBox::currentTextChanged, this, &TfmPedora::SetDrive);
    // The folders are read in the background: the chosen one is brought into view as they come.
    connect(directories_, &QFileSystemModel::directoryLoaded, this,
            [this] { dbPath->scrollTo(dbPath->currentIndex(), QAbstractItemView::PositionAtCenter); });
    connect(dbPath->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { SetSourceDirectory(directories_->filePath(index)); });
    connect(Files, &QListWidget::currentRowChanged, this, [this] { FilesChange(); });
    connect(Files, &QListWidget::itemDoubleClicked, this, [this] { FilesDblClick(); });
  }
  pages->addWidget(pgIntro);

  pgUser = new QWidget;
  {
    auto* v = new QVBoxLayout(pgUser);
    v->addWidget(new QLabel(tr("Définissez l'utilisateur courant :")));
    dbgUser = new QTableWidget(0, 1);
    dbgUser->setHorizontalHeaderLabels({tr("Nom")});
    dbgUser->horizontalHeader()->setStretchLastSection(true);
    dbgUser->verticalHeader()->hide();
    dbgUser->setSelectionBehavior(QAbstractItemView::SelectRows);
    dbgUser->setSelectionMode(QAbstractItemView::SingleSelection);
    dbgUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->addWidget(dbgUser, 1);
    btPriorUser = Button("< &Précédent", kBackToSource, kNoResult, pgUser);
    btNextUser = Button("&Suivant >", kUserChosen, kNoResult, pgUser);
    btUserCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgUser);
    buttons_row(v, {btPriorUser, btNextUser, btUserCancel});
  }
  pages->addWidget(pgUser);

  pgImport = new QWidget;
  {
    auto* v = new QVBoxLayout(pgImport);
    auto* form = new QFormLayout;
    dbName = new QLabel;
    dbUser = new QLabel;
    form->addRow(new QLabel(tr("Import de la base de données :")), dbName);
    form->addRow(new QLabel(tr("Utilisateur courant :")), dbUser);
    v->addLayout(form);
    v->addWidget(new QLabel(tr("Contenu de la base de données :")));
    PanelContenu = new QWidget;
    auto* contents = new QFormLayout(PanelContenu);
    lPat = new QLabel;
    lMes = new QLabel;
    lType = new QLabel;
    lJeu = new QLabel;
    contents->addRow(new QLabel(tr("Patient(s) :")), lPat);
    contents->addRow(new QLabel(tr("Mesure(s) :")), lMes);
    contents->addRow(new QLabel(tr("Type(s) :")), lType);
    contents->addRow(new QLabel(tr("Exercice(s) :")), lJeu);
    v->addWidget(PanelContenu);
    v->addWidget(Warning(tr("Les champs NOM, PRENOM et DATE de NAISSANCE non renseignés seront remplis avec une "
                            "valeur par défaut ! Ces champs sont obligatoires dans Ortalis.")));
    v->addWidget(Warning(tr("L'importation d'une base de données importante peut prendre plusieurs minutes et ce "
                            "processus ne peut pas être interrompu !")));
    v->addStretch();
    btPriorImport = Button("< &Précédent", kBackToUser, kNoResult, pgImport);
    btNextImport = Button("&Commencer", kStartRun, kNoResult, pgImport);
    btImportCancel = Button("&Annuler", kNoMove, QDialog::Rejected, pgImport);
    buttons_row(v, {btPriorImport, btNextImport, btImportCancel});
  }
  pages->addWidget(pgImport);

  pgProcess = new QWidget;
  {
    auto* v = new QVBoxLayout(pgProcess);
    LabProg = new QLabel(tr("Importation en cours ... Patientez S.V.P."));
    v->addWidget(LabProg);
    Progress = new QProgressBar;
    v->addWidget(Progress);
    v->addWidget(new QLabel(tr("Compte rendu :")));
    PanelCompteRendu = new QWidget;
    auto* grid = new QGridLayout(PanelCompteRendu);
    labPat = new QLabel;
    labExistPat = new QLabel;
    labMes = new QLabel;
    labType = new QLabel;
    labNorme = new QLabel;
    labJeu = new QLabel;
    grid->addWidget(new QLabel(tr("Patient(s) :")), 0, 0);
    grid->addWidget(labPat, 0, 1);
    grid->addWidget(labExistPat, 0, 2);
    int row = 1;
    for (auto [text, label] : {std::pair{"Mesure(s) :", labMes}, std::pair{"Type(s) :", labType},
                               std::pair{"Norme(s) :", labNorme}, std::pair{"Exercice(s) :", labJeu}}) {
      grid->addWidget(new QLabel(tr(text)), row, 0);
      grid->addWidget(label, row++, 1);
    }
    grid->setColumnStretch(2, 1);
    v->addWidget(PanelCompteRendu);
    reReport = new QTextEdit;
    reReport->setReadOnly(true);
    reReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    v->addWidget(reReport, 1);
    btClose = Button("&Ok", kNoMove, QDialog::Accepted, pgProcess);
    buttons_row(v, {btClose});
  }
  pages->addWidget(pgProcess);
  resize(560, 460);
  setFixedSize(size());
}

void TfmPedora::FormCreate() {
  // The practice tables are opened by the first use of the run, not here: the
  // instance kept hidden from start-up must leave them to the other functions.
  shell::SetShortDateFormat("dd/mm/yy");
  // The lists open on the working directory, on its drive.
  const QString current = QDir::currentPath();
  for (int i = 0; i < dbDrive->count(); ++i)
    if (current.startsWith(QDir::fromNativeSeparators(dbDrive->itemText(i)), Qt::CaseInsensitive)) dbDrive->setCurrentIndex(i);
  SetDrive(dbDrive->currentText());
  const QModelIndex here = directories_->index(current);
  dbPath->setCurrentIndex(here);
  SetSourceDirectory(current);
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

void TfmPedora::SetDrive(const QString& drive) {
  const QString root = QDir::fromNativeSeparators(drive);
  directories_->setRootPath(root);
  dbPath->setRootIndex(directories_->index(root));
  SetSourceDirectory(root);
}

void TfmPedora::SetSourceDirectory(const QString& directory) {
  directory_ = directory;
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
