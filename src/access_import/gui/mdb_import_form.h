#pragma once
// The Access import wizard: the source (a folder holding Balantis2000.mdb),
// the current user, the summary of the source, and the run with its counters
// and report. A thin view over AccessImportRun.
#include <QDialog>
#include <array>
#include <memory>

#include "access_import/access_import_events.h"
#include "access_import/balantis_source.h"
#include "db/paradox/engine.h"
#include "shell/function_context.h"

class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTextEdit;
class QTreeView;
class QWidget;

namespace tabulor::shell::gui {
class DriveDirectoryLists;
}

namespace tabulor::access_import::gui {

class TfmMdbImport : public QDialog, private AccessImportEvents {
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
  QStackedWidget* pages = nullptr;
  QWidget *pgIntro = nullptr, *pgUser = nullptr, *pgImport = nullptr, *pgProcess = nullptr;
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
  QLabel* LabProg = nullptr;
  QProgressBar* Progress = nullptr;
  QWidget* PanelCompteRendu = nullptr;
  QLabel *labPat = nullptr, *labExistPat = nullptr, *labMes = nullptr, *labType = nullptr, *labNorme = nullptr,
         *labJeu = nullptr;
  QTextEdit* reReport = nullptr;
  QPushButton* btClose = nullptr;

  const QString& SourceDirectory() const { return directory_; }
  bool RunUnderWay() const { return running_; }

 public slots:
  void reject() override;
  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

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
  std::vector<int64_t> user_keys_;
  bool running_ = false;
  bool ended_ = false;
};

}  // namespace tabulor::access_import::gui
