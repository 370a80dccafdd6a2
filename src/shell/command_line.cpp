#include "shell/command_line.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "shell/file_names.h"
#include "shell/msg.h"

namespace tabulor::shell {

std::optional<Switch> RecognizeSwitch(std::string_view argument) {
  const std::string lower = AsciiLower(argument);
  if (lower == "update_bd_ortalis") return Switch::kUpgrade;
  if (lower == "zip_data") return Switch::kCompress;
  if (lower == "no_ihm") return Switch::kNoIhm;
  return std::nullopt;
}

bool HasSwitch(const std::vector<std::string>& arguments, Switch which) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [which](const std::string& a) { return RecognizeSwitch(a) == which; });
}

CommandLineRun::CommandLineRun(const UnattendedRuns& runs, StartupStatus& status, const FunctionContext& context)
    : runs_(runs), status_(status), context_(context) {}

void CommandLineRun::RunFunction(ShellFunction function) {
  const UnattendedRun* run = runs_.Find(function);
  if (!run) throw std::runtime_error(msg::FunctionUnavailable());
  (*run)(context_);
}

bool CommandLineRun::Run(const std::vector<std::string>& arguments) {
  try {
    for (const std::string& argument : arguments) {
      const auto which = RecognizeSwitch(argument);
      if (!which) continue;
      switch (*which) {
        case Switch::kUpgrade: RunFunction(ShellFunction::kUpgrade); break;
        case Switch::kCompress: RunFunction(ShellFunction::kCompress); break;
        // Takes effect once start-up is over, so later switches still run.
        case Switch::kNoIhm: status_.RequestTermination(); break;
      }
    }
  } catch (const std::exception& e) {
    context_.Messages().ShowError(e.what());
    status_.RecordFailure();
    return false;
  } catch (...) {
    context_.Messages().ShowError(msg::UnknownError());
    status_.RecordFailure();
    return false;
  }
  return true;
}

}  // namespace tabulor::shell
