#include "shell/gui/application.h"

#include <exception>

#include "shell/messages.h"
#include "shell/msg.h"

namespace tabulor::shell::gui {

TabulorApplication::TabulorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("tabulor");
  setApplicationDisplayName("Tabulor");
}

bool TabulorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError(msg::UnknownError());
  }
  return false;
}

bool NobodyCanSeeWindows() {
  const QString platform = QGuiApplication::platformName();
  return platform == "offscreen" || platform == "minimal";
}

}  // namespace tabulor::shell::gui
