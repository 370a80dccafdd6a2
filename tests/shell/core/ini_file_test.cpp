#include "shell/ini_file.h"

#include <gtest/gtest.h>

#include "test_dir.h"

namespace tabulor::shell {
namespace {
using testing::TestDir;

TEST(IniFileRead, FindsSectionsAndKeysWithoutRegardToCaseFirstOccurrenceWins) {
  TestDir dir;
  dir.Write("a.ini",
            "; comment=ignored\r\n[main]\r\n  NomAlias =  MYALIAS  \r\nnomalias=SECOND\r\n"
            "[Other]\r\nNomAlias=OTHER\r\n[MAIN]\r\nLanguage=9\r\n");
  IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("Main", "NOMALIAS", "x"), "MYALIAS");
  EXPECT_EQ(ini.ReadString("other", "nomalias", "x"), "OTHER");
  // Only the first section of a name is read, as Windows does.
  EXPECT_EQ(ini.ReadInteger("Main", "Language", 12), 12);
  EXPECT_EQ(ini.ReadString("Main", "; comment", "none"), "none");
  EXPECT_EQ(ini.ReadString("Missing", "Key", "fallback"), "fallback");
}

TEST(IniFileRead, ValuesAreUnquotedAndDecodedFromCp1252) {
  TestDir dir;
  dir.Write("a.ini", "[Courrier]\nChemin=\"C:\\Lettres pr\xE9vues\"\nVide=\n");
  IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("Courrier", "Chemin", ""), "C:\\Lettres prévues");
  // A key that is present but empty is the empty text, not the fallback.
  EXPECT_EQ(ini.ReadString("Courrier", "Vide", "fallback"), "");
}

TEST(IniFileRead, AUtf8FileIsReadAsUtf8) {
  TestDir dir;
  dir.Write("plain.ini", "[Video]\nChemin=/srv/Vidéos\n");
  EXPECT_EQ(IniFile(dir.File("plain.ini")).ReadString("Video", "Chemin", ""), "/srv/Vidéos");
  dir.Write("bom.ini", "\xEF\xBB\xBF[Main]\r\nNomAlias=Cabinet\r\n");
  EXPECT_EQ(IniFile(dir.File("bom.ini")).ReadString("Main", "NomAlias", ""), "Cabinet");
}

TEST(IniFileRead, IntegersAndBooleansTakeTheirDefaultWhenNotIntegers) {
  TestDir dir;
  dir.Write("a.ini",
            "[Main]\nA=  42 \nB=abc\nC=12abc\nD=\nE=99999999999\nF=0x1F\nG=$10\nH=-7\n"
            "CreateAlias=0\nYes=5\nNo=oui\n");
  IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadInteger("Main", "A", 1), 42);
  EXPECT_EQ(ini.ReadInteger("Main", "B", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "C", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "D", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "E", 1), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "F", 1), 31);
  EXPECT_EQ(ini.ReadInteger("Main", "G", 1), 16);
  EXPECT_EQ(ini.ReadInteger("Main", "H", 1), -7);
  EXPECT_FALSE(ini.ReadBool("Main", "CreateAlias", true));
  EXPECT_TRUE(ini.ReadBool("Main", "Yes", false));
  EXPECT_TRUE(ini.ReadBool("Main", "No", true));
  EXPECT_FALSE(ini.ReadBool("Main", "No", false));
}

TEST(IniFileRead, MissingFileReadsAsEmpty) {
  TestDir dir;
  IniFile ini(dir.File("none.ini"));
  EXPECT_EQ(ini.ReadInteger("Main", "Language", 12), 12);
  EXPECT_FALSE(ini.Find("Main", "Language"));
}

TEST(IniFileWrite, ReplacesOnlyTheKeysLineAndKeepsTheRest) {
  TestDir dir;
  const std::string before =
      "; r\xE9glages\r\n[Video]\r\nChemin=C:\\Movies\r\nlastindex = 17\r\nAutre=1\r\n\r\n[Main]\r\nLanguage=12\r\n";
  dir.Write("k.ini", before);
  IniFile ini(dir.File("k.ini"));
  ini.WriteInteger("VIDEO", "LastIndex", 18);
  EXPECT_EQ(dir.Read("k.ini"),
            "; r\xE9glages\r\n[Video]\r\nChemin=C:\\Movies\r\nLastIndex=18\r\nAutre=1\r\n\r\n[Main]\r\nLanguage=12\r\n");
  EXPECT_EQ(IniFile(dir.File("k.ini")).ReadInteger("Video", "LastIndex", 0), 18);
}

TEST(IniFileWrite, AddsTheKeyAtTheEndOfItsSectionOrTheSectionAtTheEnd) {
  TestDir dir;
  dir.Write("k.ini", "[Video]\nChemin=C:\\Movies\n\n[Main]\nLanguage=12");
  IniFile ini(dir.File("k.ini"));
  ini.WriteInteger("Video", "LastIndex", 3);
  EXPECT_EQ(dir.Read("k.ini"), "[Video]\nChemin=C:\\Movies\nLastIndex=3\n\n[Main]\nLanguage=12");
  ini.WriteInteger("Options", "Age", 18);
  EXPECT_EQ(dir.Read("k.ini"), "[Video]\nChemin=C:\\Movies\nLastIndex=3\n\n[Main]\nLanguage=12\n[Options]\nAge=18\n");
}

TEST(IniFileWrite, KeepsTheFilesEncoding) {
  TestDir dir;
  dir.Write("bom.ini", "\xEF\xBB\xBF[Video]\r\nChemin=/srv/Vidéos\r\n");
  IniFile(dir.File("bom.ini")).WriteInteger("Video", "LastIndex", 4);
  EXPECT_EQ(dir.Read("bom.ini"), "\xEF\xBB\xBF[Video]\r\nChemin=/srv/Vidéos\r\nLastIndex=4\r\n");
  dir.Write("ansi.ini", "[Video]\r\nChemin=C:\\Vid\xE9os\r\n");
  IniFile(dir.File("ansi.ini")).WriteInteger("Video", "LastIndex", 4);
  EXPECT_EQ(dir.Read("ansi.ini"), "[Video]\r\nChemin=C:\\Vid\xE9os\r\nLastIndex=4\r\n");
}

TEST(IniFileWrite, CreatesAMissingFileWithCrLf) {
  TestDir dir;
  IniFile ini(dir.File("new.ini"));
  ini.WriteInteger("Video", "LastIndex", -1);
  EXPECT_EQ(dir.Read("new.ini"), "[Video]\r\nLastIndex=-1\r\n");
}

TEST(IniFileWrite, FailureIsAnErrorNamingTheFile) {
  TestDir dir;
  IniFile ini(dir.File("no/such/dir/x.ini"));
  try {
    ini.WriteInteger("Video", "LastIndex", 1);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("x.ini"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tabulor::shell
