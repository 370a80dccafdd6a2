#pragma once
// The patient-file import wizard: the source (a Pedora .mdb file), the current
// user, the summary, and the run with its counters and report. A thin view
// over PatientFileImport; every button goes through btNavigation, which acts
// on the button's tag.
#include <QDialog>
#include <cstdint>
#include <vector>

#include "patient_file_import/patient_file_run.h"
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

namespace tabulor::shell::gui {
class DriveDirectoryLists;
}

namespace tabulor::patient_file_import::gui {

class TfmPedora : public QDialog, private PatientFileObserver {
  Q_OBJECT

 public:
  // The tags of the buttons that move the wizard on or back.
  enum Tag { kNoMove = 0, kOpenSource = 1, kBackToSource = 2, kUserChosen = 3, kBackToUser = 4, kStartRun = 5 };

  TfmPedora(QWidget* owner, shell::FunctionContext context);
  ~TfmPedora() override;

  // Event handlers.
  void FormCreate();
  void FilesChange();
  void FilesDblClick();
  void btNavigation(QPushButton* sender);
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

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  QPushButton* Button(const char* text, int tag, int modal_result, QWidget* page);
  void ShowPage(QWidget* page);
  void OpenSource();
  void FillUsers();
  void RunImport();

  // PatientFileObserver
  void Started(int64_t patients) override;
  void Progressed(int64_t done) override;
  void CountsChanged(const PatientFileCounts& counts) override;
  void Reported(const std::string& line) override;

  shell::FunctionContext context_;
  PatientFileImport import_;
  shell::gui::DriveDirectoryLists* drives_ = nullptr;
  QString directory_;
  std::vector<int64_t> user_keys_;  // PK_USE of each row of dbgUser
  bool running_ = false;
  bool close_requested_ = false;  // during the run: honoured once it ends
};

}  // namespace tabulor::patient_file_import::gui
