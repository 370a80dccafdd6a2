#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void UpgradeV25(UpgradeRun& run) {
  AddFieldsUnlessPresent(
      run, "Patient", "LIMIT_H",
      "ALTER TABLE Patient ADD LIMIT_H INTEGER, ADD LIMIT_B INTEGER, ADD LIMIT_G INTEGER, ADD LIMIT_D INTEGER");
  run.LogItem("Patient - V2.5");
  AddFieldsUnlessPresent(run, "Mesure", "POST_SEQ", "ALTER TABLE Mesure ADD POST_SEQ BOOLEAN");
  run.LogItem("Mesure - V2.5");
}

}  // namespace tabulor::upgrade
