#pragma once
// The Windows ANSI code page of the practice software (cp1252). Log files and
// INI files are 8-bit text in it; the rest of the program speaks UTF-8.
#include <string>
#include <string_view>

namespace tabulor::shell {

// Characters cp1252 cannot hold become '?', as the Windows conversion does.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view cp1252);

}  // namespace tabulor::shell
