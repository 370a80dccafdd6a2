#include "shell/registry.h"

#include <stdexcept>

namespace tabulor::shell {

void UnattendedRuns::Register(ShellFunction function, UnattendedRun run) {
  switch (function) {
    case ShellFunction::kUpgrade: upgrade_ = std::move(run); return;
    case ShellFunction::kCompress: compress_ = std::move(run); return;
    default: throw std::logic_error("only the upgrade and the compression run unattended");
  }
}

const UnattendedRun* UnattendedRuns::Find(ShellFunction function) const {
  const std::optional<UnattendedRun>* slot = function == ShellFunction::kUpgrade    ? &upgrade_
                                             : function == ShellFunction::kCompress ? &compress_
                                                                                    : nullptr;
  return slot && *slot && **slot ? &**slot : nullptr;
}

UnattendedRuns& UnattendedRuns::Global() {
  static UnattendedRuns runs;
  return runs;
}

}  // namespace tabulor::shell
