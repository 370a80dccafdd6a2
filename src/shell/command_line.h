#pragma once
// The command-line switches: "update_bd_ortalis" (the upgrade without a
// window), "zip_data" (the compression without a window) and "no_ihm" (end the
// program once start-up is done). Arguments are lower-cased and compared
// whole; anything else is ignored. They run in order, a repeated switch runs
// again, and the first error is reported and stops the remaining arguments.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/messages.h"
#include "shell/registry.h"
#include "shell/startup_status.h"

namespace tabulor::shell {

enum class Switch { kUpgrade, kCompress, kNoIhm };

std::optional<Switch> RecognizeSwitch(std::string_view argument);
bool HasSwitch(const std::vector<std::string>& arguments, Switch which);

class CommandLineRun {
 public:
  // Each run is given `context`; errors are shown through its sink.
  CommandLineRun(const UnattendedRuns& runs, StartupStatus& status, const FunctionContext& context);

  // `arguments` without the program path. Returns true when every switch that
  // was given ran without error; a failure is also recorded in the status.
  bool Run(const std::vector<std::string>& arguments);

 private:
  void RunFunction(ShellFunction function);

  const UnattendedRuns& runs_;
  StartupStatus& status_;
  const FunctionContext& context_;
};

}  // namespace tabulor::shell
