#pragma once
// The language of the user interface. The texts built into the program are
// French; English comes from the translation modules beside the program, used
// when the configuration asks for English and a module is there. Installing
// them makes every open window re-apply its texts.
//
// The shell ships tabulor_en.qm (the texts of Msg and of the main window); a
// subsystem may ship its own texts as tabulor_<name>_en.qm beside it, e.g.
//   set_source_files_properties(tabulor_upgrade_en.ts PROPERTIES OUTPUT_LOCATION ${CMAKE_BINARY_DIR})
//   qt_add_lrelease(tabulor_upgrade TS_FILES tabulor_upgrade_en.ts)
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulor::shell {

inline constexpr int kLocaleFrench = 12;
inline constexpr int kLocaleEnglish = 9;
inline constexpr std::string_view kEnglishModuleName = "tabulor_en.qm";

// "Language" 3 or 12 is French, any other value English.
int LocaleForLanguage(int32_t language);

// "tabulor_en.qm", "tabulor_upgrade_en.qm" ..., whatever their case.
bool IsEnglishModuleName(std::string_view name);

// Switches to `locale`, the modules being looked for in `program_dir`; sets the
// process locale too. Returns whether translation modules are now in use.
// Without a module for the locale nothing changes: the French texts stay.
bool SwitchLanguage(int locale, const std::string& program_dir);

}  // namespace tabulor::shell
