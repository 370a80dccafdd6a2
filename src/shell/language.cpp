#include "shell/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <memory>

#include "shell/file_names.h"

namespace tabulor::shell {
namespace {
std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

void Uninstall() {
  if (auto& t = Installed()) {
    QCoreApplication::removeTranslator(t.get());
    t.reset();
  }
}
}  // namespace

int LocaleForLanguage(int32_t language) {
  return language == 3 || language == 12 ? kLocaleFrench : kLocaleEnglish;
}

bool SwitchLanguage(int locale, const std::string& program_dir) {
  if (locale != kLocaleEnglish) {
    // French is built in: only an earlier switch to English has to be undone.
    if (Installed()) {
      Uninstall();
      QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    }
    return false;
  }
  const auto module = FindFileNoCase(program_dir, kEnglishModuleName);
  if (!module) return Installed() != nullptr;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QString::fromStdString(*module))) return Installed() != nullptr;
  Uninstall();
  QCoreApplication::installTranslator(translator.get());
  Installed() = std::move(translator);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  return true;
}

}  // namespace tabulor::shell
