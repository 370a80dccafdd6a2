#pragma once
// The subcommands of tabulor-import, one file each, registered by a static
// object of that file:
//
//   const ImportCommandRegistration kParadox{"paradox", "SOURCE_DIR [--practice] [--protocols]",
//       [](const shell::FunctionContext& context, const std::vector<std::string>& args) { ...; return 0; }};
//
// A command gets the arguments after its name and the program directory's
// context (database open, messages to standard error); it returns the exit
// status and may throw, which is reported as a failure.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shell/function_context.h"

namespace tabulor::import_tool {

using ImportCommand = std::function<int(const shell::FunctionContext& context, const std::vector<std::string>& args)>;

struct ImportCommandInfo {
  std::string usage;  // the arguments after the name, for the usage text
  ImportCommand run;
};

// Every registered command by name.
std::map<std::string, ImportCommandInfo>& ImportCommands();

struct ImportCommandRegistration {
  ImportCommandRegistration(std::string name, std::string usage, ImportCommand run) {
    ImportCommands()[std::move(name)] = ImportCommandInfo{std::move(usage), std::move(run)};
  }
};

}  // namespace tabulor::import_tool
