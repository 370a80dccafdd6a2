#pragma once
// Names read from a source database (a letter's NOM, a video's name) name files
// of its folders: a name that holds a path (a separator, a drive) or that is
// "." or ".." is no file name, so nothing outside those folders is ever read or written.
#include <string_view>

namespace tabulor::paradox_import {

inline bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace tabulor::paradox_import
