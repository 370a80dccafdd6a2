#include "paradox_import/gui/db_import_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "paradox_import/import_run.h"
#include "paradox_import/source_directory.h"
#include "shell/gui/wizard_page.h"
#include "shell/log_file.h"

namespace tabulor::paradox_import::gui {
namespace {

QString Count(int64_t value) { return QString::number(value); }

}  // namespace

TfmDbImport::TfmDbImport(QWidget* owner, shell::FunctionContext context)
    : ImportWizard(owner), context_(std::move(context)), source_(context_.Session()) {
  setObjectName("fmDbImport");
  BuildWindow();
  FormCreate();
}

// FormDestroy: the source's tables are closed and DBImport disconnected; the
// alias stays known to the session.
TfmDbImport::~TfmDbImport() = default;

void TfmDbImport::BuildWindow() {
  pgIntro = BuildIntroPage();
  pgImport = BuildImportPage();
  BuildProcessPage();
  shell::gui::FixWizardSize(this, 520, 480);
}

QWidget* TfmDbImport::BuildIntroPage() {
  shell::gui::WizardPage intro(pages, "pgIntro");
  QWidget* page = intro.page();
  intro.Title("Importation d'une base de données PARADOX");
  intro.Caption("Base de données à importer :");
  drives_ = new shell::gui::DriveDirectoryLists(page);
  dbDrive = drives_->drive();
  dbPath = drives_->directories();
  Files = intro.SourceLists(drives_);
  Files->setFixedHeight(Files->fontMetrics().height() * 9 + 2 * Files->frameWidth());
  btNextIntro = intro.Button("&Suivant >");
  btIntroCancel = intro.Button("&Annuler");
  intro.Buttons({btNextIntro, btIntroCancel});

  connect(drives_, &shell::gui::DriveDirectoryLists::DirectoryChosen, this, &TfmDbImport::SetSourceDirectory);
  connect(btNextIntro, &QPushButton::clicked, this, [this] { btNextIntroClick(); });
  connect(btIntroCancel, &QPushButton::clicked, this, &QDialog::reject);
  return page;
}

QWidget* TfmDbImport::BuildImportPage() {
  shell::gui::WizardPage summary(pages, "pgImport");
  QWidget* page = summary.page();
  summary.SummaryHead(&dbName, nullptr);
  dbName->setWordWrap(true);
  Panel2 = summary.CountPanel("Panel2", {{"Patient(s) :", &lPat},
                                         {"Examen(s) :", &lExa},
                                         {"Mesure(s) :", &lMes},
                                         {"Prescripteur(s) :", &lPres},
                                         {"Utilisateur(s) :", &lUser},
                                         {"Profession(s) :", &lProf},
                                         {"Pathologie(s) :", &lPath},
                                         {"Protocole(s) :", &lType, &LabelType},
                                         {"Norme(s) :", &lNorme, &LabelNorme},
                                         {"Exercice(s) :", &lJeu, &LabelJeu}});

  cbClefs = new QCheckBox(shell::gui::WizardText("Importer le cabinet médical"), page);
  cbType = new QCheckBox(shell::gui::WizardText("Importer les protocoles"), page);
  summary.column()->addWidget(cbClefs);
  summary.column()->addWidget(cbType);

  summary.Notice("L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne "
                 "peut pas être interrompu !",
                 QStyle::SP_MessageBoxInformation);

  auto* warnings = new QHBoxLayout;
  imVideo = summary.Picture(QStyle::SP_MessageBoxWarning);
  warnings->addWidget(imVideo);
  auto* texts = new QVBoxLayout;
  labVideo = shell::gui::WizardLabel("Les vidéos ne seront pas importées !", page);
  labDocs = shell::gui::WizardLabel("Les courriers ne seront pas importés !", page);
  texts->addWidget(labVideo);
  texts->addWidget(labDocs);
  texts->addStretch();
  warnings->addLayout(texts, 1);
  summary.column()->addLayout(warnings);
  summary.column()->addStretch();

  btPriorImport = summary.Button("< &Précédent");
  btNextImport = summary.Button("&Commencer");
  btImportCancel = summary.Button("&Annuler");
  summary.Buttons({btPriorImport, btNextImport, btImportCancel});
  connect(btPriorImport, &QPushButton::clicked, this, [this] { btPriorImportClick(); });
  connect(btNextImport, &QPushButton::clicked, this, [this] { btNextImportClick(); });
  connect(btImportCancel, &QPushButton::clicked, this, &QDialog::reject);
  return page;
}

void TfmDbImport::BuildProcessPage() {
  BuildRunPage("Panel1", &Panel1,
               {{"Patient(s) :", &labPat},
                {"Examen(s) :", &labExa},
                {"Mesure(s) :", &labMes},
                {"Prescripteur(s) :", &labPres},
                {"Utilisateur(s) :", &labUser},
                {"Profession(s) :", &labProf},
                {"Pathologie(s) :", &labPath},
                {"Protocole(s) :", &LabType, &LabelType2},
                {"Norme(s) :", &labNorme, &LabelNorme2},
                {"Exercice(s) :", &labJeu, &LabelJeu2}});
  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
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
  drives_->Show(directory_);
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
  Run(context_.Messages(), [this] {
    const std::string program_dir = context_.ProgramDirOrCurrent();
    shell::LogFile log = shell::LogFile::InDirectory(program_dir, shell::kImportLogName);
    ImportRun run(Destination{&context_.Session(), context_.database, program_dir, folders_}, source_, &log, *this,
                  RunOptions{cbClefs->isChecked(), cbType->isChecked()});
    run.Run();
    log.Close();
  });
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

void TfmDbImport::ReportLine(const std::string& text) { AddReportLine(text); }

void TfmDbImport::CounterChanged(Counter counter, int64_t value) { shell::gui::ShowCounter(CounterLabel(counter), value); }

void TfmDbImport::ProgressStarted(int64_t patients) { StartProgress(patients); }

void TfmDbImport::ProgressMoved(int64_t position) { MoveProgress(position); }

void TfmDbImport::ProcessPendingEvents() { QApplication::processEvents(); }

}  // namespace tabulor::paradox_import::gui
