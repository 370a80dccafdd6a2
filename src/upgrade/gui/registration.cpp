// The upgrade offered to the main window: its form, and its unattended run
// for the switch "update_bd_ortalis".
#include "shell/gui/form_registry.h"
#include "shell/registry.h"
#include "upgrade/gui/db_upgrade_form.h"
#include "upgrade/unattended.h"

namespace tabulor::upgrade::gui {
namespace {

const shell::UnattendedRegistration kUnattendedUpgrade{shell::ShellFunction::kUpgrade, [] { RunUnattended(); }};

const shell::gui::FormRegistration kUpgradeForm{
    shell::ShellFunction::kUpgrade, [](QWidget* owner) { return std::make_unique<TfmDBUpgrade>(owner); }};

}  // namespace
}  // namespace tabulor::upgrade::gui
