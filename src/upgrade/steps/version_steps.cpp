#include "upgrade/steps/version_steps.h"

namespace tabulor::upgrade {

std::span<const VersionStep> VersionSteps() {
  // There is no step for 2.2, 2.6 or 2.7.
  static constexpr VersionStep kSteps[] = {
      {100, &UpgradeV1},  {200, &UpgradeV2},  {210, &UpgradeV21}, {230, &UpgradeV23},
      {240, &UpgradeV24}, {250, &UpgradeV25}, {280, &UpgradeV28},
  };
  return kSteps;
}

}  // namespace tabulor::upgrade
