#pragma once
// Schema versions compared as integers: the version number × 100 (2.8 is 280).
#include <cstdint>
#include <span>

namespace tabulor::shell {

inline constexpr int32_t kRequiredVersion = 280;             // the imports need it; the upgrade brings the base to it
inline constexpr int32_t kCompressionRequiredVersion = 120;
inline constexpr const char* kProgramVersionText = "2.8";

// The version as the version table holds it (a 32-bit float) on the integer
// scale: × 100, rounded half to even. Rounding matters: 2.8f is slightly below 2.8.
int32_t VersionTimes100(float version);

// The lowest of `versions` on the integer scale; 0 when there is none.
int32_t LowestVersion(std::span<const float> versions);

}  // namespace tabulor::shell
