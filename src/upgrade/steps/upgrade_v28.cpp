#include "db/paradox/upper_case.h"
#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void UpgradeV28(UpgradeRun& run) {
  FillRowsIgnoringErrors(run, "Users", [](db::Table& users) {
    db::Field& name = users.FieldByName("NOM");
    const std::string current = name.AsString();
    const std::string upper = db::UpperCase(current, users.Definition());
    if (upper == current) return;
    users.Edit();
    name.SetAsString(upper);
    users.Post();
  });
  run.LogItem("Users - V2.8");

  for (const char* table : {"Bilan", "BilanParam", "Docs", "Jeu", "RefValue", "Stimulation"})
    RegisterTable(run, table);
  run.LogItem("Version - V2.8");
}

}  // namespace tabulor::upgrade
