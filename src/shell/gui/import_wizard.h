#pragma once
// The frame the three import wizards share: the window with its stack of
// pages, the run page (progress bar, counters, report and "&Ok"), the run
// itself, which nothing interrupts, and the grid of the current user.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "shell/gui/wizard_page.h"

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTextEdit;
class QWidget;

namespace tabulor::shell {
class MessageSink;
}

namespace tabulor::shell::gui {

class ImportWizard : public QDialog {
  Q_OBJECT

 public:
  // The stack of pages, and the controls of the run page.
  QStackedWidget* pages = nullptr;
  QWidget* pgProcess = nullptr;
  QLabel* LabProg = nullptr;
  QProgressBar* Progress = nullptr;
  QLabel* labExistPat = nullptr;  // to the right of the first counter
  QTextEdit* reReport = nullptr;
  QPushButton* btClose = nullptr;

  bool RunUnderWay() const { return running_; }

 public slots:
  // The run cannot be interrupted: a request to close made meanwhile waits for its end.
  void reject() override;

 protected:
  // The window with its caption and its stack, still without pages.
  explicit ImportWizard(QWidget* owner);

  void closeEvent(QCloseEvent* event) override;

  // Adds pgProcess: "in progress" above the progress bar, "Compte rendu :"
  // with `panel` (its object name `panel_name`) holding the counters' lines
  // and labExistPat beside the first, the report, and btClose alone at the
  // foot. btClose is left for the wizard to connect.
  void BuildRunPage(const char* panel_name, QWidget** panel, std::initializer_list<CountLine> lines);

  // The run, under the busy cursor: pgProcess shown with btClose disabled and
  // default and every counter blank, then `work`. When it returns btClose is
  // enabled and the progress hidden; an error ends the run and is shown by
  // `errors`, btClose staying disabled. Either way a close asked for meanwhile
  // then closes the wizard.
  void Run(MessageSink& errors, const std::function<void()>& work);

  // A line of the report, as plain text, one paragraph an event; the carriage
  // return between an error's heading and its message breaks the line inside
  // the paragraph.
  void AddReportLine(const std::string& text);
  void StartProgress(int64_t total);
  void MoveProgress(int64_t position);

 private:
  std::vector<QLabel*> counters_;  // the values of the run page's panel, and labExistPat
  bool running_ = false;
  bool close_requested_ = false;
};

// A counter in its label: its value in decimal, blank while 0, repainted at
// once when it changes.
void ShowCounter(QLabel* label, int64_t value);

// The grid of the current user: the users of Users.DB in the order of its
// index, one column NOM titled "Nom", whole-row selection; each row keeps the
// user's key (PK_USE).
void ClearUserGrid(QTableWidget* grid);
void AddUserRow(QTableWidget* grid, const std::string& name, int64_t key);
// Selects the row of the user `key` when there is one, else the first row.
void ChooseUser(QTableWidget* grid, std::optional<int64_t> key);
// The selected user's key and name; none and empty without a selected row.
std::optional<int64_t> ChosenUserKey(const QTableWidget* grid);
QString ChosenUserName(const QTableWidget* grid);

}  // namespace tabulor::shell::gui
