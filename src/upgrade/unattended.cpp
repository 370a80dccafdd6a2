#include "upgrade/unattended.h"

#include <stdexcept>

#include "shell/data_module.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void RunUnattended() {
  shell::TF_Data* data = shell::F_Data;
  if (!data) throw std::logic_error("The upgrade runs on the data module's database, which is not created");
  UpgradeSetup setup;
  setup.session = &data->DB.session();
  setup.database = data->DB.Name();
  setup.version_table = &data->tVersion;
  UpgradeRun run(std::move(setup));
  run.RunUpgrade();
}

}  // namespace tabulor::upgrade
