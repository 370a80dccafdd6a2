#include "shell/schema_version.h"

#include <algorithm>
#include <cmath>

namespace tabulor::shell {

int32_t VersionTimes100(float version) {
  // A float times 100 is exact in a double, so the one rounding is nearbyint's
  // (the default rounding mode: to nearest, ties to even).
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(version) * 100.0));
}

int32_t LowestVersion(std::span<const float> versions) {
  if (versions.empty()) return 0;
  return VersionTimes100(*std::min_element(versions.begin(), versions.end()));
}

}  // namespace tabulor::shell
