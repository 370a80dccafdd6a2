#include "shell/gui/wizard_page.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStorageInfo>
#include <QStyle>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace tabulor::shell::gui {

QString WizardText(const char* french) { return QCoreApplication::translate(kWizardContext, french); }

QLabel* WizardLabel(const char* french, QWidget* parent) { return new QLabel(WizardText(french), parent); }

QStackedWidget* BuildWizardWindow(QDialog* window) {
  window->setWindowTitle(WizardText("Assistant pour l'importation d'une base de données"));
  window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(window);
  auto* pages = new QStackedWidget(window);
  layout->addWidget(pages);
  return pages;
}

void FixWizardSize(QDialog* window, int width, int height) {
  window->resize(width, height);
  window->setFixedSize(window->size());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - window->rect().center());
}

WizardPage::WizardPage(QStackedWidget* pages, const char* name) : page_(new QWidget), column_(new QVBoxLayout(page_)) {
  page_->setObjectName(QString::fromLatin1(name));
  pages->addWidget(page_);
}

QLabel* WizardPage::Title(const char* text) {
  QLabel* title = Caption(text);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  return title;
}

QLabel* WizardPage::Caption(const char* text) {
  QLabel* label = WizardLabel(text, page_);
  column_->addWidget(label);
  return label;
}

QLabel* WizardPage::Notice(const char* text, int standard_pixmap) {
  auto* row = new QHBoxLayout;
  QLabel* picture = Picture(standard_pixmap);
  QLabel* label = WizardLabel(text, page_);
  label->setWordWrap(true);
  row->addWidget(picture);
  row->addWidget(label, 1);
  column_->addLayout(row);
  return label;
}

QLabel* WizardPage::Picture(int standard_pixmap) const {
  auto* picture = new QLabel(page_);
  picture->setPixmap(
      page_->style()->standardIcon(static_cast<QStyle::StandardPixmap>(standard_pixmap)).pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  return picture;
}

QPushButton* WizardPage::Button(const char* text) const {
  auto* button = new QPushButton(WizardText(text), page_);
  button->setAutoDefault(false);
  return button;
}

QListWidget* WizardPage::SourceLists(DriveDirectoryLists* drives) {
  auto* drive = new QHBoxLayout;
  drive->addWidget(WizardLabel("Disque :", page_));
  drive->addWidget(drives->drive(), 1);
  column_->addLayout(drive);
  column_->addWidget(drives->directories(), 1);
  Caption("Contenu :");
  auto* files = new QListWidget(page_);
  files->setSelectionMode(QAbstractItemView::NoSelection);
  files->setFocusPolicy(Qt::NoFocus);
  column_->addWidget(files);
  return files;
}

QTableWidget* WizardPage::UserGrid() {
  Caption("Définissez l'utilisateur courant :");
  auto* grid = new QTableWidget(0, 1, page_);
  grid->setHorizontalHeaderLabels({WizardText("Nom")});
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->verticalHeader()->hide();
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  column_->addWidget(grid, 1);
  return grid;
}

void WizardPage::SummaryHead(QLabel** name, QLabel** user) {
  auto* form = new QFormLayout;
  *name = new QLabel(page_);
  form->addRow(WizardLabel("Import de la base de données :", page_), *name);
  if (user) {
    *user = new QLabel(page_);
    form->addRow(WizardLabel("Utilisateur courant :", page_), *user);
  }
  column_->addLayout(form);
  Caption("Contenu de la base de données :");
}

void WizardPage::RunHead(QLabel** in_progress, QProgressBar** progress) {
  *in_progress = Caption("Importation en cours ... Patientez S.V.P.");
  *progress = new QProgressBar(page_);
  column_->addWidget(*progress);
  Caption("Compte rendu :");
}

QWidget* WizardPage::CountPanel(const char* name, std::initializer_list<CountLine> lines) {
  auto* panel = new QWidget(page_);
  panel->setObjectName(QString::fromLatin1(name));
  FillCountPanel(panel, lines);
  column_->addWidget(panel);
  return panel;
}

QTextEdit* WizardPage::Report() {
  auto* report = new QTextEdit(page_);
  report->setReadOnly(true);
  report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  column_->addWidget(report, 1);
  return report;
}

void WizardPage::Buttons(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* button : buttons) row->addWidget(button);
  column_->addLayout(row);
}

QGridLayout* FillCountPanel(QWidget* panel, std::initializer_list<CountLine> lines) {
  auto* grid = new QGridLayout(panel);
  grid->setVerticalSpacing(2);
  grid->setColumnMinimumWidth(1, 60);
  grid->setColumnStretch(2, 1);
  int row = 0;
  for (const CountLine& line : lines) {
    QLabel* caption = WizardLabel(line.caption, panel);
    *line.value = new QLabel(panel);
    if (line.caption_label) *line.caption_label = caption;
    grid->addWidget(caption, row, 0);
    grid->addWidget(*line.value, row, 1);
    ++row;
  }
  return grid;
}

namespace {

// Mounts of the system itself, never where a user keeps a database.
bool IsSystemMount(const QString& root) {
  static const QStringList kSystem = {"/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/etc", "/var/lib", "/tmp"};
  if (root.startsWith("/run/media/")) return false;
  return std::any_of(kSystem.begin(), kSystem.end(),
                     [&](const QString& system) { return root == system || root.startsWith(system + '/'); });
}

bool IsUserVolume(const QStorageInfo& volume) {
  if (!volume.isValid() || !volume.isReady()) return false;
  const QString root = volume.rootPath();
  if (IsSystemMount(root) || !QFileInfo(root).isDir()) return false;
  const QByteArray type = volume.fileSystemType();
  static const QList<QByteArray> kNetwork = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p"};
  return volume.device().startsWith("/dev/") || kNetwork.contains(type);
}

}  // namespace

QStringList DriveRoots() {
  QStringList roots = {QDir::rootPath(), QDir::homePath()};
  QStringList volumes;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (IsUserVolume(volume)) volumes << QDir::cleanPath(volume.rootPath());
  volumes.sort();
  for (const QString& volume : volumes)
    if (!roots.contains(volume)) roots << volume;
  return roots;
}

QString RootOf(const QStringList& roots, const QString& path) {
  const QString clean = QDir::cleanPath(path);
  QString best;
  for (const QString& root : roots) {
    const QString prefix = root.endsWith('/') ? root : root + '/';
    if ((clean == root || clean.startsWith(prefix)) && root.size() > best.size()) best = root;
  }
  return best;
}

DriveDirectoryLists::DriveDirectoryLists(QWidget* page)
    : QObject(page), drive_(new QComboBox(page)), model_(new QFileSystemModel(this)), tree_(new QTreeView(page)) {
  drive_->setObjectName("dbDrive");
  tree_->setObjectName("dbPath");
  for (const QString& root : DriveRoots()) drive_->addItem(QDir::toNativeSeparators(root), root);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  tree_->setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->header()->hide();
  // The folders are read in the background: the chosen one is brought into view as they come.
  connect(model_, &QFileSystemModel::directoryLoaded, this,
          [this] { tree_->scrollTo(tree_->currentIndex(), QAbstractItemView::PositionAtCenter); });
  connect(drive_, &QComboBox::activated, this, [this](int index) {
    const QString root = drive_->itemData(index).toString();
    RootAt(root);
    emit DirectoryChosen(root);
  });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& index) { emit DirectoryChosen(model_->filePath(index)); });
  RootAt(QDir::rootPath());
}

QString DriveDirectoryLists::Root() const { return drive_->currentData().toString(); }

void DriveDirectoryLists::RootAt(const QString& root) {
  const QSignalBlocker quiet(tree_->selectionModel());
  model_->setRootPath(root);
  tree_->setRootIndex(model_->index(root));
  tree_->setCurrentIndex(QModelIndex());
}

void DriveDirectoryLists::Show(const QString& directory) {
  const QString clean = QDir::cleanPath(directory);
  QStringList roots;
  for (int i = 0; i < drive_->count(); ++i) roots << drive_->itemData(i).toString();
  const QString root = RootOf(roots, clean);
  if (root.isEmpty()) return;
  if (root != Root()) {
    const QSignalBlocker quiet(drive_);
    drive_->setCurrentIndex(roots.indexOf(root));
  }
  if (model_->rootPath() != root) RootAt(root);
  const QModelIndex index = model_->index(clean);
  if (!index.isValid() || index == tree_->rootIndex() || index == tree_->currentIndex()) return;
  const QSignalBlocker quiet(tree_->selectionModel());
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) tree_->expand(parent);
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

}  // namespace tabulor::shell::gui
