#include "shell/gui/import_wizard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <exception>

#include "shell/messages.h"

namespace tabulor::shell::gui {

ImportWizard::ImportWizard(QWidget* owner) : QDialog(owner) { pages = BuildWizardWindow(this); }

void ImportWizard::BuildRunPage(const char* panel_name, QWidget** panel, std::initializer_list<CountLine> lines) {
  WizardPage process(pages, "pgProcess");
  pgProcess = process.page();
  process.RunHead(&LabProg, &Progress);
  *panel = process.CountPanel(panel_name, lines);
  labExistPat = new QLabel(*panel);
  static_cast<QGridLayout*>((*panel)->layout())->addWidget(labExistPat, 0, 2);
  for (const CountLine& line : lines) counters_.push_back(*line.value);
  counters_.push_back(labExistPat);
  reReport = process.Report();
  btClose = process.Button("&Ok");
  process.Buttons({btClose});
}

void ImportWizard::Run(MessageSink& errors, const std::function<void()>& work) {
  pages->setCurrentWidget(pgProcess);
  btClose->setEnabled(false);
  btClose->setDefault(true);
  for (QLabel* counter : counters_) counter->clear();
  running_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool ended = false;
  std::string error;
  try {
    work();
    ended = true;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    QApplication::restoreOverrideCursor();
    running_ = false;
    throw;
  }
  QApplication::restoreOverrideCursor();
  running_ = false;
  if (ended) {
    btClose->setEnabled(true);
    LabProg->hide();
    Progress->hide();
  } else {
    // The run ends here; what it stored stays, and the close box still closes the wizard.
    errors.ShowError(error);
  }
  if (close_requested_) reject();
}

void ImportWizard::AddReportLine(const std::string& text) {
  QString line = QString::fromStdString(text);
  line.replace('\r', QChar::LineSeparator);
  QTextCursor cursor(reReport->document());
  cursor.movePosition(QTextCursor::End);
  if (!reReport->document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(line);
  reReport->setTextCursor(cursor);
  reReport->ensureCursorVisible();
}

void ImportWizard::StartProgress(int64_t total) {
  Progress->setRange(0, static_cast<int>(std::min<int64_t>(total, INT_MAX)));
  Progress->setValue(0);
}

void ImportWizard::MoveProgress(int64_t position) {
  Progress->setValue(static_cast<int>(std::min<int64_t>(position, INT_MAX)));
}

void ImportWizard::reject() {
  if (running_) {
    close_requested_ = true;
    return;
  }
  QDialog::reject();
}

void ImportWizard::closeEvent(QCloseEvent* event) {
  if (running_) {
    close_requested_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void ShowCounter(QLabel* label, int64_t value) {
  const QString text = value == 0 ? QString() : QString::number(value);
  if (label->text() == text) return;
  label->setText(text);
  label->repaint();
}

void ClearUserGrid(QTableWidget* grid) { grid->setRowCount(0); }

void AddUserRow(QTableWidget* grid, const std::string& name, int64_t key) {
  const int row = grid->rowCount();
  grid->insertRow(row);
  auto* item = new QTableWidgetItem(QString::fromStdString(name));
  item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(key));
  grid->setItem(row, 0, item);
}

void ChooseUser(QTableWidget* grid, std::optional<int64_t> key) {
  if (grid->rowCount() == 0) return;
  int chosen = 0;
  for (int row = 0; key && row < grid->rowCount(); ++row)
    if (grid->item(row, 0)->data(Qt::UserRole).toLongLong() == *key) {
      chosen = row;
      break;
    }
  grid->selectRow(chosen);
}

std::optional<int64_t> ChosenUserKey(const QTableWidget* grid) {
  const QTableWidgetItem* item = grid->item(grid->currentRow(), 0);
  if (!item) return std::nullopt;
  return item->data(Qt::UserRole).toLongLong();
}

QString ChosenUserName(const QTableWidget* grid) {
  const QTableWidgetItem* item = grid->item(grid->currentRow(), 0);
  return item ? item->text() : QString();
}

}  // namespace tabulor::shell::gui
