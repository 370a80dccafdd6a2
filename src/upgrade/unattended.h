#pragma once
// The upgrade without a window ("update_bd_ortalis"): the log is opened, the
// due steps run and every version row is stamped; nothing is shown. Errors are
// thrown, for the command line to report and stop on.
namespace tabulor::upgrade {

// Works on the data module's database and version table.
void RunUnattended();

}  // namespace tabulor::upgrade
