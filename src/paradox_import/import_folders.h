#pragma once
// The settings the import takes from the configuration file beside the program:
// the age of an adult and the folders that receive copied letters and videos.
#include <cstdint>
#include <string>

namespace tabulor::paradox_import {

struct ImportFolders {
  uint16_t adult_age = 14;
  std::string mails_folder;  // with its trailing separator; empty without a configuration file
  std::string video_folder;  // likewise
};

// Reads "Options"/"AgeAdulte", "Courrier"/"DefaultFolder" and "Video"/"DefaultFolder"
// and creates the two folders when they are missing (failures to create are left
// to the copies that would need them).
ImportFolders ReadImportFolders(const std::string& program_dir);

}  // namespace tabulor::paradox_import
