#pragma once
// Schema versions of a practice database, held as the version number × 100
// (2.8 gives 280), the way the program compares them.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tabulor::schema {

constexpr int kCurrentVersion = 280;

// The versions at which a practice database can be found: 0 (never stamped)
// and the versions after each upgrade step.
constexpr std::array<int, 8> kKnownVersions = {0, 100, 200, 210, 230, 240, 250, 280};

bool IsKnownVersion(int version);

// "2.1", "2,1", "2.10" and "0" are accepted; anything else gives nothing.
std::optional<int> ParseVersion(std::string_view text);

// 210 gives "2.1", 200 gives "2", 0 gives "0".
std::string FormatVersion(int version);

// The value stored in the "Version" field of Version.db (2.1 for 210).
double VersionNumber(int version);

}  // namespace tabulor::schema
