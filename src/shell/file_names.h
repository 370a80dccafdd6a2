#pragma once
// Files named by the practice software (Ortalis.INI, BALANTIS.INI, UPGRADE.log ...)
// come from Windows, where names match whatever their case; these helpers find
// them the same way on a case-sensitive disk.
#include <optional>
#include <string>
#include <string_view>

namespace tabulor::shell {

// The path of the entry of `dir` named `name` without regard to case (the exact
// spelling wins when several match); nullopt when there is none.
std::optional<std::string> FindFileNoCase(const std::string& dir, std::string_view name);

bool FileExistsNoCase(const std::string& dir, std::string_view name);

// The path to write `name` in `dir`: an existing entry of any case, else dir + name.
std::string FileInDirNoCase(const std::string& dir, std::string_view name);

bool EqualsNoCase(std::string_view a, std::string_view b);
std::string AsciiLower(std::string_view s);

}  // namespace tabulor::shell
