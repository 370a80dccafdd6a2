#include "shell/gui/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>

namespace tabulor::shell::gui {
namespace {
QWidget* Owner() { return QApplication::activeWindow(); }
}  // namespace

void MessageBoxSink::ShowMessage(const std::string& text) {
  QMessageBox::information(Owner(), QApplication::applicationDisplayName(), QString::fromStdString(text));
}

void MessageBoxSink::ShowError(const std::string& text) {
  QMessageBox::critical(Owner(), QApplication::applicationDisplayName(), QString::fromStdString(text));
}

}  // namespace tabulor::shell::gui
