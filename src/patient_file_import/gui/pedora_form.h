#pragma once
// The patient-file import wizard: the source (a Pedora .mdb file), the current
// user, the summary, and the run with its counters and report. A thin view
// over PatientFileImport; every button goes through btNavigation, which acts
// on the button's tag.
#include <cstdint>

#include "patient_file_import/patient_file_run.h"
#include "shell/function_context.h"
#include "shell/gui/import_wizard.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace tabulor::patient_file_import::gui {

// The run page's controls (pgProcess, LabProg, Progress, labExistPat,
// reReport, btClose) and the stack of pages come with the wizard's frame.
class TfmPedora : public shell::gui::ImportWizard, private PatientFileObserver {
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

 private:
  void BuildWindow();
  // `button` with its tag and the result it closes the wizard with, sent to btNavigation.
  QPushButton* Tagged(QPushButton* button, int tag, int modal_result);
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
};

}  // namespace tabulor::patient_file_import::gui
