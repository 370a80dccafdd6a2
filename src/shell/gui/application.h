#pragma once
// The application object: an error that no handler caught reaches the
// standard error message instead of ending the program.
#include <QApplication>

namespace tabulor::shell::gui {

class TabulorApplication : public QApplication {
 public:
  TabulorApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// True when windows cannot be seen (offscreen or minimal platform).
bool NobodyCanSeeWindows();

}  // namespace tabulor::shell::gui
