#pragma once
// The seven version steps of the upgrade, run in this order, each only when
// the "Patient" row's version (× 100) is below its threshold. Each step
// handles its tables one after another and logs one line per table, whether
// it changed it or found it already done, so that a run that stopped part-way
// can be run again and completes.
#include <cstdint>
#include <span>

namespace tabulor::upgrade {

class UpgradeRun;

void UpgradeV1(UpgradeRun& run);
void UpgradeV2(UpgradeRun& run);
void UpgradeV21(UpgradeRun& run);
void UpgradeV23(UpgradeRun& run);
void UpgradeV24(UpgradeRun& run);
void UpgradeV25(UpgradeRun& run);
void UpgradeV28(UpgradeRun& run);

struct VersionStep {
  int32_t below;  // runs when the "Patient" version is below this
  void (*run)(UpgradeRun&);
};

std::span<const VersionStep> VersionSteps();

}  // namespace tabulor::upgrade
