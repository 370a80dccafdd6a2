#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void UpgradeV1(UpgradeRun& run) {
  AddFieldsUnlessPresent(run, "Patient", "CLASSE", "ALTER TABLE Patient ADD CLASSE INTEGER");
  run.LogItem("Patient - V1");
  AddFieldsUnlessPresent(run, "Examen", "CLASSE", "ALTER TABLE Examen ADD CLASSE INTEGER");
  run.LogItem("Examen - V1");
}

}  // namespace tabulor::upgrade
