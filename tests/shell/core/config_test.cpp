#include "shell/config.h"

#include <gtest/gtest.h>

#include "test_dir.h"

namespace tabulor::shell {
namespace {
using testing::TestDir;

TEST(ConfigFile, SearchOrderIsOrtalisKestraBalantisWhateverTheCaseOnDisk) {
  TestDir dir;
  EXPECT_FALSE(FindConfigFile(dir.Dir()));
  dir.Write("BALANTIS.ini", "[Main]\nNomAlias=FROM_BALANTIS\n");
  EXPECT_EQ(ReadMainSettings(dir.Dir()).alias_name, "FROM_BALANTIS");
  dir.Write("kestra.ini", "[Main]\nNomAlias=FROM_KESTRA\n");
  EXPECT_EQ(ReadMainSettings(dir.Dir()).alias_name, "FROM_KESTRA");
  dir.Write("Ortalis.INI", "[Main]\nNomAlias=FROM_ORTALIS\n");
  EXPECT_EQ(*FindConfigFile(dir.Dir()), dir.File("Ortalis.INI"));
  EXPECT_EQ(ReadMainSettings(dir.Dir()).alias_name, "FROM_ORTALIS");
}

TEST(ConfigFile, DefaultsWithoutFileOrKeys) {
  TestDir dir;
  MainSettings none = ReadMainSettings(dir.Dir());
  EXPECT_TRUE(none.create_alias);
  EXPECT_EQ(none.alias_name, "KORVANE");
  EXPECT_EQ(none.language, 12);

  dir.Write("Ortalis.INI", "[Options]\nAge=18\n");
  MainSettings empty = ReadMainSettings(dir.Dir());
  EXPECT_TRUE(empty.create_alias);
  EXPECT_EQ(empty.alias_name, "KORVANE");
  EXPECT_EQ(empty.language, 12);
}

TEST(ConfigFile, BadIntegersTakeTheDefault) {
  TestDir dir;
  dir.Write("Ortalis.INI", "[main]\ncreatealias=non\nLANGUAGE=anglais\nNomAlias=X\n");
  MainSettings s = ReadMainSettings(dir.Dir());
  EXPECT_TRUE(s.create_alias);
  EXPECT_EQ(s.language, 12);
  EXPECT_EQ(s.alias_name, "X");

  dir.Write("Ortalis.INI", "[Main]\nCreateAlias=0\nLanguage=9\n");
  s = ReadMainSettings(dir.Dir());
  EXPECT_FALSE(s.create_alias);
  EXPECT_EQ(s.language, 9);
  dir.Write("Ortalis.INI", "[Main]\nCreateAlias=-3\n");
  EXPECT_TRUE(ReadMainSettings(dir.Dir()).create_alias);
}

TEST(ConfigFile, CompressionMarkerIsFoundWhateverItsCase) {
  TestDir dir;
  EXPECT_FALSE(CompressionMarkerPresent(dir.Dir()));
  dir.Write("Ortalis.INI", "");
  EXPECT_FALSE(CompressionMarkerPresent(dir.Dir()));
  dir.Write("Balantis.INI", "");
  EXPECT_TRUE(CompressionMarkerPresent(dir.Dir()));
}

}  // namespace
}  // namespace tabulor::shell
