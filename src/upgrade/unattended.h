#pragma once
// The upgrade without a window ("update_bd_ortalis"): the log is opened, the
// due steps run and every version row is stamped; nothing is shown. Errors are
// thrown, for the command line to report and stop on.
#include "shell/function_context.h"

namespace tabulor::upgrade {

// Works on the context's database and version table; UPGRADE.log in its program directory.
void RunUnattended(const shell::FunctionContext& context);

}  // namespace tabulor::upgrade
