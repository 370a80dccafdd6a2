#include "shell/config.h"

#include "shell/file_names.h"
#include "shell/ini_file.h"

namespace tabulor::shell {

std::optional<std::string> FindConfigFile(const std::string& program_dir) {
  for (std::string_view name : kConfigFileNames)
    if (auto path = FindFileNoCase(program_dir, name)) return path;
  return std::nullopt;
}

MainSettings ReadMainSettings(const std::string& program_dir) {
  MainSettings settings;
  const auto path = FindConfigFile(program_dir);
  if (!path) return settings;
  const IniFile ini(*path);
  settings.create_alias = ini.ReadBool("Main", "CreateAlias", settings.create_alias);
  settings.alias_name = ini.ReadString("Main", "NomAlias", settings.alias_name);
  settings.language = ini.ReadInteger("Main", "Language", settings.language);
  return settings;
}

bool CompressionMarkerPresent(const std::string& program_dir) {
  return FileExistsNoCase(program_dir, kCompressionMarkerName);
}

}  // namespace tabulor::shell
