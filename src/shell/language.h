#pragma once
// The language of the user interface. The texts built into the program are
// French; English comes from a translation module beside the program
// (tabulor_en.qm), used when the configuration asks for English and the module
// is there. Installing a module makes every open window re-apply its texts.
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulor::shell {

inline constexpr int kLocaleFrench = 12;
inline constexpr int kLocaleEnglish = 9;
inline constexpr std::string_view kEnglishModuleName = "tabulor_en.qm";

// "Language" 3 or 12 is French, any other value English.
int LocaleForLanguage(int32_t language);

// Switches to `locale`, the module being looked for in `program_dir`; sets the
// process locale too. Returns whether a translation module is now in use.
// Without a module for the locale nothing changes: the French texts stay.
bool SwitchLanguage(int locale, const std::string& program_dir);

}  // namespace tabulor::shell
