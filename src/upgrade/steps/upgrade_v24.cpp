#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void UpgradeV24(UpgradeRun& run) {
  AddFieldsUnlessPresent(run, "Type", "PRESSIONS", "ALTER TABLE Type ADD PRESSIONS BOOLEAN");
  // Protocols that already say true or false keep it.
  FillRowsIgnoringErrors(run, "Type", [](db::Table& type) {
    if (!type.FieldByName("PRESSIONS").AsString().empty()) return;
    type.Edit();
    type.FieldByName("PRESSIONS").SetAsBoolean(false);
    type.Post();
  });
  run.LogItem("Type - V2.4");
}

}  // namespace tabulor::upgrade
