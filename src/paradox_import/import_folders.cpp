#include "paradox_import/import_folders.h"

#include <filesystem>
#include <system_error>

#include "shell/config.h"
#include "shell/ini_file.h"

namespace tabulor::paradox_import {
namespace {

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
  return folder;
}

void CreateFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);
}

}  // namespace

ImportFolders ReadImportFolders(const std::string& program_dir) {
  ImportFolders folders;
  const auto config = shell::FindConfigFile(program_dir);
  if (!config) return folders;
  const shell::IniFile ini(*config);

  const int32_t age = ini.ReadInteger("Options", "AgeAdulte", 14);
  folders.adult_age = static_cast<uint16_t>(age);

  folders.mails_folder =
      WithTrailingSeparator(ini.ReadString("Courrier", "DefaultFolder", program_dir + "Documents/Mails"));
  std::error_code error;
  if (!std::filesystem::is_directory(folders.mails_folder, error)) {
    CreateFolder(program_dir + "Documents/");
    CreateFolder(folders.mails_folder);
  }

  folders.video_folder =
      WithTrailingSeparator(ini.ReadString("Video", "DefaultFolder", program_dir + "Movies"));
  if (!std::filesystem::is_directory(folders.video_folder, error)) CreateFolder(folders.video_folder);
  return folders;
}

}  // namespace tabulor::paradox_import
