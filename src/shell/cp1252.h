#pragma once
// The Windows ANSI code page of the practice software (cp1252). Log files and
// INI files are 8-bit text in it; the rest of the program speaks UTF-8.
#include <string>
#include <string_view>

namespace tabulor::shell {

// Characters cp1252 cannot hold become '?', as the Windows conversion does.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view cp1252);

// True when `bytes` hold non-ASCII characters and all of it is well-formed
// UTF-8: a file written by a UTF-8 editor rather than an ANSI program (French
// cp1252 text practically never forms valid multi-byte sequences).
bool IsNonAsciiUtf8(std::string_view bytes);

}  // namespace tabulor::shell
