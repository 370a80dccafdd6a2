#pragma once
// The compression form: a report of the rows left raw, a progress bar while a
// run goes, and the hidden threshold edit that Shift+T reveals.
#include <QDialog>
#include <QElapsedTimer>
#include <memory>

#include "compress/compress_events.h"
#include "compress/compress_run.h"
#include "compress/report_lines.h"
#include "shell/function_context.h"
#include "shell/log_file.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tabulor::compress::gui {

struct CompressFormSetup {
  shell::FunctionContext context;  // its session, program directory (COMPRESS.log) and message sink
  RunOptions run;
};

class TfmCompress : public QDialog, private CompressEvents {
  Q_OBJECT

 public:
  explicit TfmCompress(QWidget* owner = nullptr, CompressFormSetup setup = {});
  ~TfmCompress() override;

  // Event handlers.
  void FormCreate();
  // The run; `sender` is not used. A click during a run does nothing; errors
  // are shown by the application's error message and leave the form usable.
  void KompressClick(QObject* sender);
  void FormKeyDown(int key, Qt::KeyboardModifiers shift);

  // Controls.
  QLabel* LabProg = nullptr;
  QProgressBar* Progress = nullptr;
  QPlainTextEdit* mErr = nullptr;
  QLineEdit* eTaille = nullptr;
  QLineEdit* lIdAcq = nullptr;  // never displayed
  QPushButton* Kompress = nullptr;
  QPushButton* btQuit = nullptr;

  bool RunUnderWay() const { return run_->Running(); }

 public slots:
  // Closing waits for the end of a run under way.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void SetThresholdVisible(bool visible);

  // CompressEvents
  void ReportLine(int number, const std::string& text) override;
  void CurrentAcquisition(const std::string& id_acq) override;
  void ProgressStarted(int64_t rows) override;
  void ProgressMoved(int64_t position) override;
  void Finished() override;
  void ProcessPendingEvents() override;
  void ShowMessage(const std::string& text) override;

  CompressFormSetup setup_;
  std::unique_ptr<shell::LogFile> log_;
  std::unique_ptr<CompressRun> run_;
  ReportLines report_;
  QWidget* eTailleLabel_ = nullptr;
  bool close_requested_ = false;
  QElapsedTimer events_let_through_;
};

}  // namespace tabulor::compress::gui
