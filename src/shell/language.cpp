#include "shell/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "shell/file_names.h"

namespace tabulor::shell {
namespace {

std::vector<std::unique_ptr<QTranslator>>& Installed() {
  static std::vector<std::unique_ptr<QTranslator>> translators;
  return translators;
}

void UninstallAll() {
  for (auto& t : Installed()) QCoreApplication::removeTranslator(t.get());
  Installed().clear();
}

// The English modules in `dir`, in name order so that the result does not
// depend on the directory's order.
std::vector<std::string> EnglishModules(const std::string& dir) {
  std::vector<std::string> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end; it.increment(ec))
    if (IsEnglishModuleName(it->path().filename().string())) found.push_back(it->path().string());
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

int LocaleForLanguage(int32_t language) {
  return language == 3 || language == 12 ? kLocaleFrench : kLocaleEnglish;
}

bool IsEnglishModuleName(std::string_view name) {
  const std::string lower = AsciiLower(name);
  return lower.size() >= 13 && lower.starts_with("tabulor") && lower.ends_with("_en.qm");
}

bool SwitchLanguage(int locale, const std::string& program_dir) {
  if (locale != kLocaleEnglish) {
    // French is built in: only an earlier switch to English has to be undone.
    if (!Installed().empty()) {
      UninstallAll();
      QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    }
    return false;
  }
  std::vector<std::unique_ptr<QTranslator>> loaded;
  for (const std::string& module : EnglishModules(program_dir)) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QString::fromStdString(module))) loaded.push_back(std::move(translator));
  }
  if (loaded.empty()) return !Installed().empty();
  UninstallAll();
  for (auto& t : loaded) QCoreApplication::installTranslator(t.get());
  Installed() = std::move(loaded);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  return true;
}

}  // namespace tabulor::shell
