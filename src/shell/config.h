#pragma once
// The configuration file of the practice software beside the program, and the
// keys of its section "Main" that choose the database alias and the language.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabulor::shell {

// Searched in this order; the first that exists is the configuration file.
inline constexpr std::array<std::string_view, 3> kConfigFileNames = {"Ortalis.INI", "Kestra.INI", "Balantis.INI"};
// Its mere presence greys the compression menu entry.
inline constexpr std::string_view kCompressionMarkerName = "BALANTIS.INI";

inline constexpr std::string_view kDefaultAliasName = "KORVANE";
inline constexpr int32_t kDefaultLanguage = 12;

// The path of the configuration file in `program_dir`, names matched whatever their case.
std::optional<std::string> FindConfigFile(const std::string& program_dir);

struct MainSettings {
  bool create_alias = true;
  std::string alias_name = std::string(kDefaultAliasName);
  int32_t language = kDefaultLanguage;
};

// Defaults when there is no configuration file or a key is missing; "CreateAlias"
// and "Language" that are not integers take their default too.
MainSettings ReadMainSettings(const std::string& program_dir);

bool CompressionMarkerPresent(const std::string& program_dir);

}  // namespace tabulor::shell
