#pragma once
// The database import wizard: the source (the DATA directory of another
// installation), the summary of its contents with the two options, and the
// run with its counters and report. A thin view over ParadoxSource and ImportRun.
#include "paradox_import/import_events.h"
#include "paradox_import/import_folders.h"
#include "paradox_import/paradox_source.h"
#include "shell/function_context.h"
#include "shell/gui/import_wizard.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeView;
class QWidget;

namespace tabulor::paradox_import::gui {

// The run page's controls (pgProcess, LabProg, Progress, labExistPat,
// reReport, btClose) and the stack of pages come with the wizard's frame.
class TfmDbImport : public shell::gui::ImportWizard, private ImportEvents {
  Q_OBJECT

 public:
  TfmDbImport(QWidget* owner, shell::FunctionContext context);
  ~TfmDbImport() override;

  // Event handlers.
  void FormCreate();
  void FilesChange();
  void btNextIntroClick();
  void btPriorImportClick();
  void btNextImportClick();
  void SetSourceDirectory(const QString& directory);  // as a choice in dbDrive or dbPath

  // Pages and controls.
  QWidget *pgIntro = nullptr, *pgImport = nullptr;
  QComboBox* dbDrive = nullptr;
  QTreeView* dbPath = nullptr;
  QListWidget* Files = nullptr;
  QPushButton *btNextIntro = nullptr, *btIntroCancel = nullptr;
  QLabel* dbName = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel *lPat = nullptr, *lExa = nullptr, *lMes = nullptr, *lPres = nullptr, *lUser = nullptr, *lProf = nullptr,
         *lPath = nullptr, *lType = nullptr, *lNorme = nullptr, *lJeu = nullptr;
  QLabel *LabelType = nullptr, *LabelNorme = nullptr, *LabelJeu = nullptr;
  QCheckBox *cbClefs = nullptr, *cbType = nullptr;
  QLabel *imVideo = nullptr, *labVideo = nullptr, *labDocs = nullptr;
  QPushButton *btPriorImport = nullptr, *btNextImport = nullptr, *btImportCancel = nullptr;
  QWidget* Panel1 = nullptr;
  QLabel *labPat = nullptr, *labExa = nullptr, *labMes = nullptr, *labPres = nullptr, *labUser = nullptr,
         *labProf = nullptr, *labPath = nullptr, *LabType = nullptr, *labNorme = nullptr, *labJeu = nullptr;
  QLabel *LabelType2 = nullptr, *LabelNorme2 = nullptr, *LabelJeu2 = nullptr;

  const QString& SourceDirectory() const { return directory_; }

 private:
  void BuildWindow();
  QWidget* BuildIntroPage();
  QWidget* BuildImportPage();
  void BuildProcessPage();
  void ShowSource();
  QLabel* CounterLabel(Counter counter) const;

  // ImportEvents
  void ReportLine(const std::string& text) override;
  void CounterChanged(Counter counter, int64_t value) override;
  void ProgressStarted(int64_t patients) override;
  void ProgressMoved(int64_t position) override;
  void ProcessPendingEvents() override;

  shell::FunctionContext context_;
  ImportFolders folders_;
  ParadoxSource source_;
  QString directory_;
  shell::gui::DriveDirectoryLists* drives_ = nullptr;
};

}  // namespace tabulor::paradox_import::gui
