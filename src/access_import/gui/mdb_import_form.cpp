#include "access_import/gui/mdb_import_form.h"

#include <QApplication>
#include <QCloseEvent>
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
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "access_import/access_import_run.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/log_file.h"

namespace tabulor::access_import::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* Button(const char* text, QWidget* parent) { return new QPushButton(QString::fromUtf8(text), parent); }

QLabel* Caption(const char* text) { return new QLabel(QString::fromUtf8(text)); }

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
  setWindowTitle(QString::fromUtf8("Assistant pour l'importation d'une base de données"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  pages = new QStackedWidget(this);
  layout->addWidget(pages);

  pgIntro = new QWidget;
  {
    auto* v = new QVBoxLayout(pgIntro);
    Titre = Caption("Importation d'une base de données ACCESS");
    QFont font = Titre->font();
    font.setBold(true);
    Titre->setFont(font);
    v->addWidget(Titre);
    v->addWidget(Caption("Base de données à importer :"));
    directories_ = new QFileSystemModel(this);
    directories_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    directories_->setRootPath(QDir::rootPath());
    dbPath = new QTreeView;
    dbPath->setModel(directories_);
    for (int column = 1; column < directories_->columnCount(); ++column) dbPath->hideColumn(column);
    dbPath->header()->hide();
    v->addWidget(dbPath, 1);
    v->addWidget(Caption("Contenu :"));
    Files = new QListWidget;
    Files->setSelectionMode(QAbstractItemView::NoSelection);
    Files->setFocusPolicy(Qt::NoFocus);
    Files->setMaximumHeight(60);
    v->addWidget(Files);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btNextIntro = Button("&Suivant >", pgIntro);
    btIntroCancel = Button("&Annuler", pgIntro);
    buttons->addWidget(btNextIntro);
    buttons->addWidget(btIntroCancel);
    v->addLayout(buttons);
    connect(dbPath->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { SetSourceDirectory(directories_->filePath(index)); });
    connect(btNextIntro, &QPushButton::clicked, this, [this] { btNextIntroClick(); });
    connect(btIntroCancel, &QPushButton::clicked, this, &QDialog::reject);
  }
  pages->addWidget(pgIntro);

  pgUser = new QWidget;
  {
    auto* v = new QVBoxLayout(pgUser);
    v->addWidget(Caption("Définissez l'utilisateur courant :"));
    dbgUser = new QTableWidget(0, 1);
    dbgUser->setHorizontalHeaderLabels({QString::fromUtf8("Nom")});
    dbgUser->horizontalHeader()->setStretchLastSection(true);
    dbgUser->setSelectionBehavior(QAbstractItemView::SelectRows);
    dbgUser->setSelectionMode(QAbstractItemView::SingleSelection);
    dbgUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->addWidget(dbgUser, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btPriorUser = Button("< &Précédent", pgUser);
    btNextUser = Button("&Suivant >", pgUser);
    btUserCancel = Button("&Annuler", pgUser);
    for (QPushButton* b : {btPriorUser, btNextUser, btUserCancel}) buttons->addWidget(b);
    v->addLayout(buttons);
    connect(btPriorUser, &QPushButton::clicked, this, [this] { btPriorUserClick(); });
    connect(btNextUser, &QPushButton::clicked, this, [this] { btNextUserClick(); });
    connect(btUserCancel, &QPushButton::clicked, this, &QDialog::reject);
  }
  pages->addWidget(pgUser);

  pgImport = new QWidget;
  {
    auto* v = new QVBoxLayout(pgImport);
    auto* form = new QFormLayout;
    dbName = new QLabel;
    dbUser = new QLabel;
    form->addRow(Caption("Import de la base de données :"), dbName);
    form->addRow(Caption("Utilisateur courant :"), dbUser);
    v->addLayout(form);
    v->addWidget(Caption("Contenu de la base de données :"));
    PanelContenu = new QWidget;
    auto* grid = new QFormLayout(PanelContenu);
    lPat = new QLabel;
    lMes = new QLabel;
    lType = new QLabel;
    lJeu = new QLabel;
    grid->addRow(Caption("Patient(s) :"), lPat);
    grid->addRow(Caption("Mesure(s) :"), lMes);
    grid->addRow(Caption("Type(s) :"), lType);
    grid->addRow(Caption("Exercice(s) :"), lJeu);
    v->addWidget(PanelContenu);
    for (const char* warning :
         {"L'importation d'un patient n'est possible que si les champs NOM, PRENOM et DATE de NAISSANCE sont "
          "renseignés !",
          "L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne peut "
          "pas être interrompu !"}) {
      QLabel* label = Caption(warning);
      label->setWordWrap(true);
      v->addWidget(label);
    }
    v->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btPriorImport = Button("< &Précédent", pgImport);
    btNextImport = Button("&Commencer", pgImport);
    btImportCancel = Button("&Annuler", pgImport);
    for (QPushButton* b : {btPriorImport, btNextImport, btImportCancel}) buttons->addWidget(b);
    v->addLayout(buttons);
    connect(btPriorImport, &QPushButton::clicked, this, [this] { btPriorImportClick(); });
    connect(btNextImport, &QPushButton::clicked, this, [this] { btNextImportClick(); });
    connect(btImportCancel, &QPushButton::clicked, this, &QDialog::reject);
  }
  pages->addWidget(pgImport);

  pgProcess = new QWidget;
  {
    auto* v = new QVBoxLayout(pgProcess);
    LabProg = Caption("Importation en cours ... Patientez S.V.P.");
    v->addWidget(LabProg);
    Progress = new QProgressBar;
    v->addWidget(Progress);
    v->addWidget(Caption("Compte rendu :"));
    PanelCompteRendu = new QWidget;
    auto* grid = new QGridLayout(PanelCompteRendu);
    labPat = new QLabel;
    labExistPat = new QLabel;
    labMes = new QLabel;
    labType = new QLabel;
    labNorme = new QLabel;
    labJeu = new QLabel;
    grid->addWidget(Caption("Patient(s) :"), 0, 0);
    grid->addWidget(labPat, 0, 1);
    grid->addWidget(labExistPat, 0, 2);
    int row = 1;
    for (auto [text, label] : {std::pair{"Mesure(s) :", labMes}, std::pair{"Type(s) :", labType},
                               std::pair{"Norme(s) :", labNorme}, std::pair{"Exercice(s) :", labJeu}}) {
      grid->addWidget(Caption(text), row, 0);
      grid->addWidget(label, row++, 1);
    }
    v->addWidget(PanelCompteRendu);
    reReport = new QTextEdit;
    reReport->setReadOnly(true);
    reReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    v->addWidget(reReport, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btClose = Button("&Ok", pgProcess);
    buttons->addWidget(btClose);
    v->addLayout(buttons);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  }
  pages->addWidget(pgProcess);
  resize(520, 460);
  setFixedSize(size());
}

void TfmMdbImport::FormCreate() {
  if (!full_) {
    // Only the patient line of each panel shows.
    auto* contents = static_cast<QFormLayout*>(PanelContenu->layout());
    for (int row = 1; row < contents->rowCount(); ++row) contents->setRowVisible(row, false);
    auto* report = static_cast<QGridLayout*>(PanelCompteRendu->layout());
    for (int row = 1; row < report->rowCount(); ++row)
      for (int column = 0; column < report->columnCount(); ++column)
        if (QLayoutItem* item = report->itemAtPosition(row, column); item && item->widget()) item->widget()->hide();
    Titre->setText(QString::fromUtf8("Importation des patients d'une base ACCESS"));
  }
  shell::SetShortDateFormat("dd/mm/yy");
  btNextIntro->setDefault(true);
  btNextIntro->setEnabled(false);
  pages->setCurrentWidget(pgIntro);
}

void TfmMdbImport::SetSourceDirectory(const QString& directory) {
  directory_ = directory;
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
  FilesChange();
}

void TfmMdbImport::btNextUserClick() {
  const int row = dbgUser->currentRow();
  dbUser->setText(row >= 0 && row < dbgUser->rowCount() ? dbgUser->item(row, 0)->text() : QString());
  pages->setCurrentWidget(pgImport);
  btNextImport->setDefault(true);
}

void TfmMdbImport::btPriorImportClick() { pages->setCurrentWidget(pgUser); }

void TfmMdbImport::btNextImportClick() {
  pages->setCurrentWidget(pgProcess);
  btClose->setEnabled(false);
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
