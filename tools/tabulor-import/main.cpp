// tabulor-import: the imports of the main window without a window, on the
// practice database of a program directory (configuration, alias, IMPORT.log,
// letters and videos as the program there would use them).
//
//   tabulor-import [--program-dir DIR] COMMAND ARGS...
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "import_command.h"
#include "shell/access_formats.h"
#include "shell/data_module.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/messages.h"
#include "shell/process_memory.h"
#include "shell/msg.h"
#include "shell/program_dir.h"
#include "shell/schema_version.h"
#include "shell/startup_status.h"

namespace {

using namespace tabulor;

constexpr std::string_view kAliasFileName = "tabulor-aliases.ini";

int Usage() {
  std::fprintf(stderr, "usage: tabulor-import [--program-dir DIR] COMMAND ARGS...\n");
  for (const auto& [name, info] : import_tool::ImportCommands())
    std::fprintf(stderr, "       tabulor-import [--program-dir DIR] %s %s\n", name.c_str(), info.usage.c_str());
  return 2;
}

int Run(const std::vector<std::string>& arguments) {
  std::string program_dir;
  size_t next = 0;
  if (next < arguments.size() && arguments[next] == "--program-dir") {
    if (next + 1 >= arguments.size()) return Usage();
    program_dir = std::filesystem::absolute(arguments[next + 1]).string();
    next += 2;
  }
  if (next >= arguments.size()) return Usage();
  const auto command = import_tool::ImportCommands().find(arguments[next]);
  if (command == import_tool::ImportCommands().end()) return Usage();
  const std::vector<std::string> command_arguments(arguments.begin() + static_cast<long>(next) + 1, arguments.end());

  // The directory's configuration, DATA and alias file are the ones used.
  const std::string dir = program_dir.empty() ? shell::DirectoryWithSeparator(shell::RunningProgramFile())
                                              : shell::DirectoryWithSeparator(program_dir + "/tabulor-import");
  db::Session& session = db::Session::Default();
  session.LoadAliasFile(shell::FileInDirNoCase(dir, kAliasFileName));
  shell::ShareFormatsWithAccessLayer();

  shell::StderrMessageSink messages;
  shell::StartupStatus status;
  shell::DataModuleSetup setup;
  setup.session = &session;
  setup.program_file = dir + "tabulor-import";
  setup.status = &status;
  setup.messages = &messages;
  setup.switch_language = [](int) {};  // messages stay in the program's French
  shell::TF_Data data(std::move(setup));
  data.DataModuleCreate();
  if (status.TerminationRequested()) return 1;  // the alias was not found: already told
  // As in the program once start-up is over.
  shell::SetShortDateFormat("dd/mm/yy");
  if (data.SchemaVersion() < shell::kRequiredVersion) {
    messages.ShowMessage(shell::msg::IncompatibleVersion());
    return 1;
  }

  shell::FunctionContext context;
  context.session = &session;
  context.database = data.DB.Name();
  context.version_table = &data.tVersion;
  context.program_dir = shell::ProgramDir();
  context.messages = &messages;
  const int status_code = command->second.run(context, command_arguments);
  data.DataModuleDestroy();
  return status_code;
}

}  // namespace

int main(int argc, char** argv) {
  tabulor::shell::ReturnFreedMemory();
  try {
    return Run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  } catch (const std::exception& e) {
    tabulor::shell::StderrMessageSink().ShowError(e.what());
    return 1;
  }
}
