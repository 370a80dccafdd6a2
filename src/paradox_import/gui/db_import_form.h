#pragma once
// The database import wizard: the source (the DATA directory of another
// installation), the summary of its contents with the two options, and the
// run with its counters and report. A thin view over ParadoxSource and ImportRun.
#include <QDialog>
#include <array>

#include "paradox_import/import_events.h"
#include "paradox_import/import_folders.h"
#include "paradox_import/paradox_source.h"
#include "shell/function_context.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextEdit;
class QTreeView;
class QWidget;

namespace tabulor::shell::gui {
class DriveDirectoryLists;
}

namespace tabulor::paradox_import::gui {

class TfmDbImport : public QDialog, private ImportEvents {
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
  QStackedWidget* pages = nullptr;
  QWidget *pgIntro = nullptr, *pgImport = nullptr, *pgProcess = nullptr;
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
  QLabel* LabProg = nullptr;
  QProgressBar* Progress = nullptr;
  QWidget* Panel1 = nullptr;
  QLabel *labPat = nullptr, *labExistPat = nullptr, *labExa = nullptr, *labMes = nullptr, *labPres = nullptr,
         *labUser = nullptr, *labProf = nullptr, *labPath = nullptr, *LabType = nullptr, *labNorme = nullptr,
         *labJeu = nullptr;
  QLabel *LabelType2 = nullptr, *LabelNorme2 = nullptr, *LabelJeu2 = nullptr;
  QTextEdit* reReport = nullptr;
  QPushButton* btClose = nullptr;

  const QString& SourceDirectory() const { return directory_; }
  bool RunUnderWay() const { return running_; }

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  QWidget* BuildIntroPage();
  QWidget* BuildImportPage();
  QWidget* BuildProcessPage();
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
  bool running_ = false;
  bool close_requested_ = false;  // by the close box while the run works
};

}  // namespace tabulor::paradox_import::gui
