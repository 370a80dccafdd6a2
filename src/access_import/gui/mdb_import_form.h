#pragma once
// The Access import wizard: the source (a folder holding Balantis2000.mdb),
// the current user, the summary of the source, and the run with its counters
// and report. A thin view over AccessImportRun.
#include "access_import/access_import_events.h"
#include "access_import/balantis_source.h"
#include "shell/function_context.h"
#include "shell/gui/import_wizard.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeView;
class QWidget;

namespace tabulor::access_import::gui {

// The run page's controls (pgProcess, LabProg, Progress, labExistPat,
// reReport, btClose) and the stack of pages come with the wizard's frame.
class TfmMdbImport : public shell::gui::ImportWizard, private AccessImportEvents {
  Q_OBJECT

 public:
  TfmMdbImport(QWidget* owner, shell::FunctionContext context, bool AccessFullImport);
  ~TfmMdbImport() override;

  // Event handlers.
  void FormCreate();
  void FilesChange();
  void btNextIntroClick();
  void btNextUserClick();
  void btPriorUserClick();
  void btPriorImportClick();
  void btNextImportClick();
  void SetSourceDirectory(const QString& directory);  // as a choice in dbDrive or dbPath

  // Pages and controls.
  QWidget *pgIntro = nullptr, *pgUser = nullptr, *pgImport = nullptr;
  QLabel* Titre = nullptr;
  QComboBox* dbDrive = nullptr;
  QTreeView* dbPath = nullptr;
  QListWidget* Files = nullptr;
  QPushButton *btNextIntro = nullptr, *btIntroCancel = nullptr;
  QTableWidget* dbgUser = nullptr;
  QPushButton *btPriorUser = nullptr, *btNextUser = nullptr, *btUserCancel = nullptr;
  QLabel *dbName = nullptr, *dbUser = nullptr;
  QWidget* PanelContenu = nullptr;
  QLabel *lPat = nullptr, *lMes = nullptr, *lType = nullptr, *lJeu = nullptr;
  QPushButton *btPriorImport = nullptr, *btNextImport = nullptr, *btImportCancel = nullptr;
  QWidget* PanelCompteRendu = nullptr;
  QLabel *labPat = nullptr, *labMes = nullptr, *labType = nullptr, *labNorme = nullptr, *labJeu = nullptr;

  const QString& SourceDirectory() const { return directory_; }

 public slots:
  void done(int result) override;

 private:
  void BuildWindow();
  void FillUsers();
  QLabel* CounterLabel(Counter counter) const;

  // AccessImportEvents
  void ReportLine(const std::string& text) override;
  void CounterChanged(Counter counter, int64_t value) override;
  void ProgressStarted(int64_t patients) override;
  void ProgressMoved(int64_t position) override;
  void ProcessPendingEvents() override;

  shell::FunctionContext context_;
  bool full_;
  BalantisSource source_;
  QString directory_;
  shell::gui::DriveDirectoryLists* drives_ = nullptr;
};

}  // namespace tabulor::access_import::gui
