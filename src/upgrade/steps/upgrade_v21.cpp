#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void UpgradeV21(UpgradeRun& run) {
  AddFieldsUnlessPresent(run, "Posturo", "FK_STIMU", "ALTER TABLE Posturo ADD FK_STIMU INTEGER");
  run.LogItem("Posturo - V2.1");

  db::IndexDef exercise{.name = "IDJeu", .fields = {"FK_PAT", "DATE_JEU", "TIME"}, .unique = true,
                        .case_insensitive = true};
  db::IndexDef level{.name = "IDNiveau", .fields = {"FK_PAT", "NIVEAU"}, .case_insensitive = true};
  AddIndexUnlessPresent(run, "Jeu", exercise);
  AddIndexUnlessPresent(run, "Jeu", level);
  run.LogItem("Jeu - V2.1");
}

}  // namespace tabulor::upgrade
