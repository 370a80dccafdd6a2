#pragma once
// The functions of the main window and how other subsystems plug into it.
//
// A subsystem registers what it offers from its form library (the *_gui
// library, which the program links whole so that static registrations are
// kept):
//
//   // upgrade/gui/registration.cpp
//   static const tabulor::shell::UnattendedRegistration upgrade_run{
//       tabulor::shell::ShellFunction::kUpgrade,
//       [](const tabulor::shell::FunctionContext& context) { tabulor::upgrade::RunUnattended(context); }};
//   static const tabulor::shell::gui::FormRegistration upgrade_form{
//       tabulor::shell::ShellFunction::kUpgrade, [](QWidget* owner, const tabulor::shell::FunctionContext& context) {
//         return std::make_unique<TfmDBUpgrade>(owner, context); }};
//
// The unattended runs are what the switches "update_bd_ortalis" (kUpgrade) and
// "zip_data" (kCompress) call: synchronous, no window, errors thrown as
// exceptions (the command line reports them and stops), messages through the
// context's sink so that an unattended run writes them to standard error.
// Until a function is registered its menu entry and button stay disabled.
#include <functional>
#include <optional>

#include "shell/function_context.h"

namespace tabulor::shell {

enum class ShellFunction {
  kUpgrade,            // TfmDBUpgrade, "update_bd_ortalis"
  kCompress,           // TfmCompress, "zip_data"
  kImportDatabase,     // TfmDbImport
  kImportAccessPatients,  // TfmMdbImport with AccessFullImport false: the patients only
  kImportAccessFull,      // TfmMdbImport with AccessFullImport true: the whole base (hidden entry)
  kImportPatientFile,  // TfmPedora (also the hidden instance created at start-up)
};

using UnattendedRun = std::function<void(const FunctionContext& context)>;

class UnattendedRuns {
 public:
  void Register(ShellFunction function, UnattendedRun run);
  // Null when the function has no unattended run in this build.
  const UnattendedRun* Find(ShellFunction function) const;

  // The program's runs, filled by static registrations.
  static UnattendedRuns& Global();

 private:
  std::optional<UnattendedRun> upgrade_;
  std::optional<UnattendedRun> compress_;
};

struct UnattendedRegistration {
  UnattendedRegistration(ShellFunction function, UnattendedRun run) {
    UnattendedRuns::Global().Register(function, std::move(run));
  }
};

}  // namespace tabulor::shell
