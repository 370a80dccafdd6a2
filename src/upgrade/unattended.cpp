#include "upgrade/unattended.h"

#include <stdexcept>

#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {

void RunUnattended(const shell::FunctionContext& context) {
  UpgradeRun run(UpgradeSetup::From(context));
  run.RunUpgrade();
}

}  // namespace tabulor::upgrade
