#include "shell/language.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <filesystem>

#include "shell/gui/main_window.h"
#include "shell/msg.h"

namespace tabulor::shell {
namespace {

TEST(Language, ThreeAndTwelveAreFrenchAnyOtherValueEnglish) {
  EXPECT_EQ(LocaleForLanguage(12), kLocaleFrench);
  EXPECT_EQ(LocaleForLanguage(3), kLocaleFrench);
  for (int other : {9, 0, 1036, -1}) EXPECT_EQ(LocaleForLanguage(other), kLocaleEnglish) << other;
}

TEST(Language, EnglishModulesAreFoundByName) {
  EXPECT_TRUE(IsEnglishModuleName("tabulor_en.qm"));
  EXPECT_TRUE(IsEnglishModuleName("TABULOR_EN.QM"));
  EXPECT_TRUE(IsEnglishModuleName("tabulor_upgrade_en.qm"));
  EXPECT_FALSE(IsEnglishModuleName("tabulor_fr.qm"));
  EXPECT_FALSE(IsEnglishModuleName("other_en.qm"));
  EXPECT_FALSE(IsEnglishModuleName("tabulor_en.ts"));
}

TEST(Language, WithoutAnEnglishModuleTheFrenchTextsStay) {
  const auto empty = std::filesystem::temp_directory_path() / "tabulor-no-module";
  std::filesystem::create_directories(empty);
  EXPECT_FALSE(SwitchLanguage(kLocaleEnglish, empty.string() + "/"));
  EXPECT_EQ(msg::UpgradeDone(), "Mise à jour terminée");
  std::filesystem::remove_all(empty);
}

TEST(Language, TheEnglishModuleBesideTheProgramTranslatesMessagesAndOpenWindows) {
  const std::string build_dir = TABULOR_BUILD_DIR "/";
  ASSERT_TRUE(std::filesystem::exists(build_dir + std::string(kEnglishModuleName)));

  gui::MainWindowSetup setup;
  setup.context.program_dir = build_dir;
  UnattendedRuns none;
  gui::FormRegistry no_forms;
  StartupStatus status;
  setup.forms = &no_forms;
  setup.runs = &none;
  setup.status = &status;
  gui::TfmMain window(std::move(setup));
  EXPECT_EQ(window.findChild<QAction*>("mnuCompress")->text(), "Compression de la base");

  ASSERT_TRUE(SwitchLanguage(kLocaleEnglish, build_dir));
  EXPECT_EQ(msg::IncompatibleVersion(), "Incompatible table version! Please upgrade your database.");
  EXPECT_EQ(msg::AliasNotFound("KORVANE"), "BDE information: alias KORVANE not found!");
  // The open window re-applies its texts once the language change reaches it.
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(window.findChild<QAction*>("mnuCompress")->text(), "Compress the database");
  EXPECT_EQ(window.findChild<QLabel*>("lVersion")->text(), "Version 2.8");

  EXPECT_FALSE(SwitchLanguage(kLocaleFrench, build_dir));
  EXPECT_EQ(msg::AliasNotFound("KORVANE"), "Information BDE : alias KORVANE non trouvé !");
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(window.findChild<QAction*>("mnuCompress")->text(), "Compression de la base");
}

}  // namespace
}  // namespace tabulor::shell
