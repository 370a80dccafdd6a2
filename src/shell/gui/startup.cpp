#include "shell/gui/startup.h"

#include <QDialog>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "shell/access_formats.h"
#include "shell/command_line.h"
#include "shell/data_module.h"
#include "shell/display.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/gui/application.h"
#include "shell/gui/form_registry.h"
#include "shell/gui/main_window.h"
#include "shell/gui/message_box_sink.h"
#include "shell/messages.h"
#include "shell/msg.h"
#include "shell/program_dir.h"
#include "shell/sibling_check.h"
#include "db/paradox/engine.h"

namespace tabulor::shell::gui {
namespace {

constexpr std::string_view kAliasFileName = "tabulor-aliases.ini";

bool AnyRunSwitch(const std::vector<std::string>& arguments) {
  return HasSwitch(arguments, Switch::kUpgrade) || HasSwitch(arguments, Switch::kCompress);
}

// Reports an error of start-up and notes it for the exit status.
template <typename Step>
void Reported(StartupStatus& status, Step step) {
  try {
    step();
  } catch (const std::exception& e) {
    ShowError(e.what());
    status.RecordFailure();
  }
}

}  // namespace

int RunTabulor(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !WindowSystemAvailable()) qputenv("QT_QPA_PLATFORM", "offscreen");

  TabulorApplication app(argc, argv);
  const bool nobody_sees = NobodyCanSeeWindows();
  MessageBoxSink boxes;
  if (!nobody_sees && !HasSwitch(arguments, Switch::kNoIhm)) SetMessageSink(&boxes);
  struct SinkReset {
    ~SinkReset() { SetMessageSink(nullptr); }
  } sink_reset;

  if (FindSiblingApplication(*SystemWindowTitles())) {
    ShowMessage(msg::SiblingRunning());
    // Nothing ran: an unattended run must not pass for a successful one.
    return AnyRunSwitch(arguments) ? 1 : 0;
  }

  // The engine's permanent aliases, which a configuration with CreateAlias=0 relies on.
  db::Session::Default().LoadAliasFile(FileInDirNoCase(DirectoryWithSeparator(RunningProgramFile()), kAliasFileName));

  ShareFormatsWithAccessLayer();

  StartupStatus status;
  DataModuleSetup data_setup;
  data_setup.status = &status;
  // The one instance, F_Data, lives for the whole program; what the functions
  // need of it reaches them through their context.
  TF_Data F_Data(std::move(data_setup));
  Reported(status, [&] { F_Data.DataModuleCreate(); });

  // What every form and switch works with.
  FunctionContext context;
  context.session = &F_Data.DB.session();
  context.database = F_Data.DB.Name();
  context.version_table = &F_Data.tVersion;
  context.program_dir = ProgramDir();
  context.messages = &Messages();

  int exit_code = 0;
  {
    MainWindowSetup window_setup;
    window_setup.schema_version = [&F_Data] { return F_Data.SchemaVersion(); };
    window_setup.context = context;
    window_setup.arguments = arguments;
    window_setup.status = &status;
    TfmMain fmMain(std::move(window_setup));

    // From here on the program writes two-digit years (the Access import
    // wizard switches to four while it is open and back after).
    SetShortDateFormat("dd/mm/yy");
    // The patient-file form lives hidden from start-up to the end.
    std::unique_ptr<QDialog> fmPedora;
    if (const FormFactory* pedora = FormRegistry::Global().Find(ShellFunction::kImportPatientFile))
      Reported(status, [&] { fmPedora = (*pedora)(nullptr, context); });

    if (status.TerminationRequested()) {
      exit_code = status.ExitCode();
    } else if (nobody_sees) {
      ShowMessage(msg::NoDisplay());
      exit_code = AnyRunSwitch(arguments) ? status.ExitCode() : 1;
    } else {
      fmMain.show();
      app.exec();
      exit_code = status.ExitCode();
    }
  }
  F_Data.DataModuleDestroy();
  SetProgramDir({});
  return exit_code;
}

}  // namespace tabulor::shell::gui
