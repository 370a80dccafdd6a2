// The upgrade offered to the main window: its form, and its unattended run
// for the switch "update_bd_ortalis".
#include "shell/gui/form_registry.h"
#include "shell/registry.h"
#include "upgrade/gui/db_upgrade_form.h"
#include "upgrade/unattended.h"

namespace tabulor::upgrade::gui {
namespace {

const shell::UnattendedRegistration kUnattendedUpgrade{
    shell::ShellFunction::kUpgrade, [](const shell::FunctionContext& context) { RunUnattended(context); }};

const shell::gui::FormRegistration kUpgradeForm{
    shell::ShellFunction::kUpgrade, [](QWidget* owner, const shell::FunctionContext& context) {
      return std::make_unique<TfmDBUpgrade>(owner, UpgradeFormSetup{UpgradeSetup::From(context), context.messages});
    }};

}  // namespace
}  // namespace tabulor::upgrade::gui
