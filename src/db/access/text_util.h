#pragma once
#include <string>
#include <string_view>

namespace tabulor::db::access {

// Table and column names, and text keys, compare as Jet compares them:
// without regard to the case of ASCII letters.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
int CompareIgnoreCase(std::string_view a, std::string_view b);

// A number written with a '.' whatever the process locale; 0 when it is not one.
double ParseCDouble(const std::string& text);

}  // namespace tabulor::db::access
