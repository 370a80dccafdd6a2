#include "paradox_import/gui/db_import_form.h"

#include <QApplication>
#include <QCheckBox>
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
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <exception>

#include "paradox_import/import_run.h"
#include "paradox_import/source_directory.h"
#include "shell/log_file.h"

namespace tabulor::paradox_import::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString Count(int64_t value) { return QString::number(value); }

QLabel* Icon(QStyle::StandardPixmap pixmap, QWidget* parent) {
  auto* icon = new QLabel(parent);
  icon->setPixmap(parent->style()->standardIcon(pixmap).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  return icon;
}

// One line of a counts panel: its caption in the first column, its value in the second.
struct PanelLine {
  QString caption;
  QLabel** value;
  QLabel** caption_label;  // kept when the line can be hidden
};

QGridLayout* FillPanel(QWidget* panel, std::initializer_list<PanelLine> lines) {
  auto* grid = new QGridLayout(panel);
  grid->setVerticalSpacing(2);
  grid->setColumnMinimumWidth(1, 60);
  grid->setColumnStretch(2, 1);
  int row = 0;
  for (const PanelLine& line : lines) {
    auto* caption = new QLabel(line.caption, panel);
    *line.value = new QLabel(panel);
    if (line.caption_label) *line.caption_label = caption;
    grid->addWidget(caption, row, 0);
    grid->addWidget(*line.value, row, 1);
    ++row;
  }
  return grid;
}

}  // namespace

TfmDbImport::TfmDbImport(QWidget* owner, shell::FunctionContext context)
    : QDialog(owner), context_(std::move(context)), source_(context_.Session()) {
  setObjectName("fmDbImport");
  BuildWindow();
  FormCreate();
}

// FormDestroy: the source's tables are closed and DBImport disconnected; the
// alias stays known to the session.
TfmDbImport::~TfmDbImport() = default;

void TfmDbImport::BuildWindow() {
  setWindowTitle(tr("Assistant pour l'importation d'une base de données"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  pages = new QStackedWidget(this);
  layout->addWidget(pages);
  pages->addWidget(pgIntro = BuildIntroPage());
  pages->addWidget(pgImport = BuildImportPage());
  pages->addWidget(pgProcess = BuildProcessPage());
  resize(520, 480);
  setFixedSize(size());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

QWidget* TfmDbImport::BuildIntroPage() {
  auto* page = new QWidget;
  page->setObjectName("pgIntro");
  auto* v = new QVBoxLayout(page);
  auto* title = new QLabel(tr("Importation d'une base de données PARADOX"), page);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  v->addWidget(title);
  v->addWidget(new QLabel(tr("Base de données à importer :"), page));

  auto* drive = new QHBoxLayout;
  drive->addWidget(new QLabel(tr("Disque :"), page));
  dbDrive = new QComboBox(page);
  for (const QFileInfo& root : QDir::drives()) dbDrive->addItem(QDir::toNativeSeparators(root.absolutePath()));
  drive->addWidget(dbDrive, 1);
  v->addLayout(drive);

  directories_ = new QFileSystemModel(this);
  directories_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  directories_->setRootPath(QDir::rootPath());
  dbPath = new QTreeView(page);
  dbPath->setModel(directories_);
  for (int column = 1; column < directories_->columnCount(); ++column) dbPath->hideColumn(column);
  dbPath->header()->hide();
  v->addWidget(dbPath, 1);
  // The directories are read in the background: the chosen one is brought into view once its parents are there.
  connect(directories_, &QFileSystemModel::directoryLoaded, this,
          [this] { dbPath->scrollTo(dbPath->currentIndex(), QAbstractItemView::PositionAtCenter); });

  v->addWidget(new QLabel(tr("Contenu :"), page));
  Files = new QListWidget(page);
  Files->setSelectionMode(QAbstractItemView::NoSelection);
  Files->setFocusPolicy(Qt::NoFocus);
  Files->setFixedHeight(Files->fontMetrics().height() * 9 + 2 * Files->frameWidth());
  v->addWidget(Files);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btNextIntro = new QPushButton(tr("&Suivant >"), page);
  btIntroCancel = new QPushButton(tr("&Annuler"), page);
  buttons->addWidget(btNextIntro);
  buttons->addWidget(btIntroCancel);
  v->addLayout(buttons);

  connect(dbDrive, &QComboBox::activated, this,
          [this](int index) { SetSourceDirectory(QDir::fromNativeSeparators(dbDrive->itemText(index))); });
  connect(dbPath->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& index) { SetSourceDirectory(directories_->filePath(index)); });
  connect(btNextIntro, &QPushButton::clicked, this, [this] { btNextIntroClick(); });
  connect(btIntroCancel, &QPushButton::clicked, this, &QDialog::reject);
  return page;
}

QWidget* TfmDbImport::BuildImportPage() {
  auto* page = new QWidget;
  page->setObjectName("pgImport");
  auto* v = new QVBoxLayout(page);
  auto* form = new QFormLayout;
  dbName = new QLabel(page);
  dbName->setWordWrap(true);
  form->addRow(new QLabel(tr("Import de la base de données :"), page), dbName);
  v->addLayout(form);
  v->addWidget(new QLabel(tr("Contenu de la base de données :"), page));
  Panel2 = new QWidget(page);
  Panel2->setObjectName("Panel2");
  FillPanel(Panel2, {{tr("Patient(s) :"), &lPat, nullptr},
                     {tr("Examen(s) :"), &lExa, nullptr},
                     {tr("Mesure(s) :"), &lMes, nullptr},
                     {tr("Prescripteur(s) :"), &lPres, nullptr},
                     {tr("Utilisateur(s) :"), &lUser, nullptr},
                     {tr("Profession(s) :"), &lProf, nullptr},
                     {tr("Pathologie(s) :"), &lPath, nullptr},
                     {tr("Protocole(s) :"), &lType, &LabelType},
                     {tr("Norme(s) :"), &lNorme, &LabelNorme},
                     {tr("Exercice(s) :"), &lJeu, &LabelJeu}});
  v->addWidget(Panel2);

  cbClefs = new QCheckBox(tr("Importer le cabinet médical"), page);
  cbType = new QCheckBox(tr("Importer les protocoles"), page);
  v->addWidget(cbClefs);
  v->addWidget(cbType);

  auto* notice = new QHBoxLayout;
  notice->addWidget(Icon(QStyle::SP_MessageBoxInformation, page));
  auto* duration = new QLabel(tr("L'importation d'une base de données importante peut prendre plusieurs minutes et "
                                 "ce processus ne peut pas être interrompu !"),
                              page);
  duration->setWordWrap(true);
  notice->addWidget(duration, 1);
  v->addLayout(notice);

  auto* warnings = new QHBoxLayout;
  imVideo = Icon(QStyle::SP_MessageBoxWarning, page);
  warnings->addWidget(imVideo);
  auto* texts = new QVBoxLayout;
  labVideo = new QLabel(tr("Les vidéos ne seront pas importées !"), page);
  labDocs = new QLabel(tr("Les courriers ne seront pas importés !"), page);
  texts->addWidget(labVideo);
  texts->addWidget(labDocs);
  texts->addStretch();
  warnings->addLayout(texts, 1);
  v->addLayout(warnings);
  v->addStretch();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btPriorImport = new QPushButton(tr("< &Précédent"), page);
  btNextImport = new QPushButton(tr("&Commencer"), page);
  btImportCancel = new QPushButton(tr("&Annuler"), page);
  for (QPushButton* b : {btPriorImport, btNextImport, btImportCancel}) buttons->addWidget(b);
  v->addLayout(buttons);
  connect(btPriorImport, &QPushButton::clicked, this, [this] { btPriorImportClick(); });
  connect(btNextImport, &QPushButton::clicked, this, [this] { btNextImportClick(); });
  connect(btImportCancel, &QPushButton::clicked, this, &QDialog::reject);
  return page;
}

QWidget* TfmDbImport::BuildProcessPage() {
  auto* page = new QWidget;
  page->setObjectName("pgProcess");
  auto* v = new QVBoxLayout(page);
  LabProg = new QLabel(tr("Importation en cours ... Patientez S.V.P."), page);
  v->addWidget(LabProg);
  Progress = new QProgressBar(page);
  v->addWidget(Progress);
  v->addWidget(new QLabel(tr("Compte rendu :"), page));
  Panel1 = new QWidget(page);
  Panel1->setObjectName("Panel1");
  QGridLayout* grid = FillPanel(Panel1, {{tr("Patient(s) :"), &labPat, nullptr},
                                         {tr("Examen(s) :"), &labExa, nullptr},
                                         {tr("Mesure(s) :"), &labMes, nullptr},
                                         {tr("Prescripteur(s) :"), &labPres, nullptr},
                                         {tr("Utilisateur(s) :"), &labUser, nullptr},
                                         {tr("Profession(s) :"), &labProf, nullptr},
                                         {tr("Pathologie(s) :"), &labPath, nullptr},
                                         {tr("Protocole(s) :"), &LabType, &LabelType2},
                                         {tr("Norme(s) :"), &labNorme, &LabelNorme2},
                                         {tr("Exercice(s) :"), &labJeu, &LabelJeu2}});
  labExistPat = new QLabel(Panel1);
  grid->addWidget(labExistPat, 0, 2);
  v->addWidget(Panel1);
  reReport = new QTextEdit(page);
  reReport->setReadOnly(true);
  reReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  v->addWidget(reReport, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btClose = new QPushButton(tr("&Ok"), page);
  buttons->addWidget(btClose);
  v->addLayout(buttons);
  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  return page;
}

void TfmDbImport::FormCreate() {
  folders_ = ReadImportFolders(context_.ProgramDirOrCurrent());
  btNextIntro->setDefault(true);
  btNextIntro->setEnabled(false);
  pages->setCurrentWidget(pgIntro);
  // The directory list starts at the working directory.
  SetSourceDirectory(QDir::currentPath());
}

void TfmDbImport::SetSourceDirectory(const QString& directory) {
  directory_ = QDir::cleanPath(directory);
  QDir::setCurrent(directory_);
  const QModelIndex index = directories_->index(directory_);
  if (index.isValid() && index != dbPath->currentIndex()) {
    const QSignalBlocker quiet(dbPath->selectionModel());
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) dbPath->expand(parent);
    dbPath->setCurrentIndex(index);
    dbPath->scrollTo(index, QAbstractItemView::PositionAtCenter);
  }
  FilesChange();
}

void TfmDbImport::FilesChange() {
  QStringList mask;
  for (const char* name : kSourceTableMask) mask << QString::fromUtf8(name);
  Files->clear();
  Files->addItems(QDir(directory_).entryList(mask, QDir::Files, QDir::Name | QDir::IgnoreCase));
  btNextIntro->setEnabled(IsAcceptableSource(directory_.toStdString(), context_.ProgramDirOrCurrent()));
}

void TfmDbImport::btNextIntroClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  btNextIntro->setEnabled(false);
  try {
    source_.Open(directory_.toStdString());
  } catch (const SourceError& e) {
    QApplication::restoreOverrideCursor();
    context_.Messages().ShowMessage(e.what());
    return;
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    context_.Messages().ShowError(e.what());
    return;
  }
  ShowSource();
  btNextIntro->setEnabled(true);
  dbName->setText(QDir::toNativeSeparators(directory_));
  pages->setCurrentWidget(pgImport);
  btNextImport->setDefault(true);
  QApplication::restoreOverrideCursor();
}

void TfmDbImport::ShowSource() {
  const SourceCounts& counts = source_.Counts();
  const SourcePresence& presence = source_.Presence();
  lPat->setText(Count(counts.patients));
  lExa->setText(Count(counts.exams));
  lMes->setText(Count(counts.measures));
  lPres->setText(Count(counts.prescribers));
  lUser->setText(Count(counts.users));
  lProf->setText(Count(counts.professions));
  lPath->setText(Count(counts.pathologies));
  lType->setText(presence.has_type ? Count(counts.protocols) : QString());
  lNorme->setText(presence.has_norme ? Count(counts.norms) : QString());
  lJeu->setText(presence.has_jeu ? Count(counts.exercises) : QString());
  for (QLabel* line : {LabelType, lType, LabelType2, LabType}) line->setVisible(presence.has_type);
  for (QLabel* line : {LabelNorme, lNorme, LabelNorme2, labNorme}) line->setVisible(presence.has_norme);
  for (QLabel* line : {LabelJeu, lJeu, LabelJeu2, labJeu}) line->setVisible(presence.has_jeu);
  cbType->setVisible(presence.has_type);
  if (!presence.has_type) cbType->setChecked(false);
  labVideo->setVisible(source_.VideosMissing());
  labDocs->setVisible(source_.DocumentsMissing());
  imVideo->setVisible(source_.VideosMissing() || source_.DocumentsMissing());
}

void TfmDbImport::btPriorImportClick() {
  pages->setCurrentWidget(pgIntro);
  btNextIntro->setDefault(true);
  FilesChange();
}

void TfmDbImport::btNextImportClick() {
  pages->setCurrentWidget(pgProcess);
  btClose->setEnabled(false);
  btClose->setDefault(true);
  for (int c = 0; c < kCounterCount; ++c) CounterLabel(static_cast<Counter>(c))->clear();
  const std::string program_dir = context_.ProgramDirOrCurrent();
  running_ = true;
  try {
    shell::LogFile log = shell::LogFile::InDirectory(program_dir, shell::kImportLogName);
    ImportRun run(Destination{&context_.Session(), context_.database, program_dir, folders_}, source_, &log, *this,
                  RunOptions{cbClefs->isChecked(), cbType->isChecked()});
    run.Run();
    log.Close();
  } catch (const std::exception& e) {
    // The run ends here; what it stored stays, and the close box still closes the wizard.
    running_ = false;
    context_.Messages().ShowError(e.what());
    if (close_requested_) reject();
    return;
  }
  running_ = false;
  btClose->setEnabled(true);
  LabProg->hide();
  Progress->hide();
  if (close_requested_) reject();
}

QLabel* TfmDbImport::CounterLabel(Counter counter) const {
  switch (counter) {
    case Counter::kPatientsAdded: return labPat;
    case Counter::kPatientsExisting: return labExistPat;
    case Counter::kExamsAdded: return labExa;
    case Counter::kMeasuresAdded: return labMes;
    case Counter::kPrescribersAdded: return labPres;
    case Counter::kUsersAdded: return labUser;
    case Counter::kProfessionsAdded: return labProf;
    case Counter::kPathologiesAdded: return labPath;
    case Counter::kProtocolsAdded: return LabType;
    case Counter::kNormsAdded: return labNorme;
    case Counter::kExercisesAdded: return labJeu;
  }
  return labPat;
}

void TfmDbImport::ReportLine(const std::string& text) {
  // Plain text, one paragraph an event; the carriage return between an error's
  // heading and its message breaks the line inside the paragraph.
  QString line = Q(text);
  line.replace('\r', QChar::LineSeparator);
  QTextCursor cursor(reReport->document());
  cursor.movePosition(QTextCursor::End);
  if (!reReport->document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(line);
  reReport->setTextCursor(cursor);
  reReport->ensureCursorVisible();
}

void TfmDbImport::CounterChanged(Counter counter, int64_t value) {
  QLabel* label = CounterLabel(counter);
  label->setText(value == 0 ? QString() : Count(value));
  label->repaint();
}

void TfmDbImport::ProgressStarted(int64_t patients) {
  Progress->setRange(0, static_cast<int>(std::min<int64_t>(patients, INT_MAX)));
  Progress->setValue(0);
}

void TfmDbImport::ProgressMoved(int64_t position) {
  Progress->setValue(static_cast<int>(std::min<int64_t>(position, INT_MAX)));
}

void TfmDbImport::ProcessPendingEvents() { QApplication::processEvents(); }

// The run cannot be interrupted: a request to close made meanwhile waits for its end.
void TfmDbImport::reject() {
  if (running_) {
    close_requested_ = true;
    return;
  }
  QDialog::reject();
}

void TfmDbImport::closeEvent(QCloseEvent* event) {
  if (running_) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace tabulor::paradox_import::gui
