#pragma once
// Table, field and file names compared without regard to case, and paths that
// may come with Windows separators.
#include <string>
#include <string_view>

namespace tabulor::db::names {

std::string Upper(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);
// "Patient.DB" and "Patient" both give "Patient".
std::string WithoutDbExtension(std::string_view table);
// Backslashes become slashes; a trailing separator is dropped.
std::string NormalizeDirectory(std::string_view dir);

}  // namespace tabulor::db::names
