#pragma once
// The main window: two large buttons, the menus of every function, the
// version label, the schema-version gates in front of the compression and of
// the imports, and the command-line switches run while it is created.
#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/function_context.h"
#include "shell/gui/form_registry.h"
#include "shell/messages.h"
#include "shell/registry.h"
#include "shell/startup_status.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tabulor::shell::gui {

struct MainWindowSetup {
  std::function<int32_t()> schema_version;  // F_Data->SchemaVersion in the program
  // Handed to every form and switch; its program directory is also where
  // BALANTIS.INI greys the compression. A null sink: the process's.
  FunctionContext context;
  std::vector<std::string> arguments;       // the command line without the program path
  const FormRegistry* forms = nullptr;      // null: the program's registry
  const UnattendedRuns* runs = nullptr;     // null: the program's runs
  StartupStatus* status = nullptr;          // null: the window keeps its own
};

class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfmMain(MainWindowSetup setup, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Event handlers; the buttons share their menu entries' handlers.
  void FormKeyDown(int key, Qt::KeyboardModifiers shift);
  void TimerTimer();
  void mnuUpgradeClick();
  void mnuCompressClick();
  void mnuImportBDClick();
  void mnuImportPatAccessClick();
  void mnuImportAccessClick();
  void mnuImportAm3Click();
  void mnuQuitClick();

  int32_t RequiredVersion() const { return required_version_; }
  uint8_t TimerTicks() const { return timer_ticks_; }
  bool KeyPreview() const { return key_preview_; }
  // Whether every command-line switch run by the creation succeeded.
  bool SwitchesSucceeded() const { return switches_succeeded_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Closing the main window ends the program.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void BuildMenu();
  void RetranslateUi();
  void FormCreate();
  void EnableFunctions();
  void SetKeyPreview(bool on);
  // Checks the gate (`required` 0: none) and opens the function's form.
  void OpenFunction(ShellFunction function, int32_t required);
  MessageSink& Messages() const { return *setup_.context.messages; }

  MainWindowSetup setup_;
  StartupStatus own_status_;

  uint8_t timer_ticks_ = 0;
  int32_t required_version_ = 0;
  bool key_preview_ = false;
  bool switches_succeeded_ = true;

  QLabel* Label1 = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* btUpgrade = nullptr;
  QPushButton* btImport = nullptr;
  QPushButton* btQuit = nullptr;
  QLabel* lVersion = nullptr;
  QTimer* Timer = nullptr;

  QMenu* mnuFile = nullptr;
  QAction* mnuUpgrade = nullptr;
  QAction* mnuCompress = nullptr;
  QAction* N2 = nullptr;
  QAction* mnuQuit = nullptr;
  QMenu* mnuImportations = nullptr;
  QAction* mnuImportBD = nullptr;
  QAction* mnuImportPatAccess = nullptr;
  QAction* mnuImportAccess = nullptr;
  QAction* mnuImportAm3 = nullptr;
};

}  // namespace tabulor::shell::gui
