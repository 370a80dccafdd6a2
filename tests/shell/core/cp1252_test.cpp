#include "shell/cp1252.h"

#include <gtest/gtest.h>

namespace tabulor::shell {
namespace {

TEST(Cp1252, RoundTripsTheFrenchAndWindowsCharacters) {
  const std::string text = "Élève à l'œuvre : 12 € – « déjà » ÿ";
  const std::string bytes = Utf8ToCp1252(text);
  EXPECT_EQ(bytes, "\xC9l\xE8ve \xE0 l'\x9Cuvre : 12 \x80 \x96 \xAB d\xE9j\xE0 \xBB \xFF");
  EXPECT_EQ(Cp1252ToUtf8(bytes), text);
}

TEST(Cp1252, CharactersItCannotHoldBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a→b中"), "a?b?");
  EXPECT_EQ(Utf8ToCp1252("\xFF\xC3"), "??");  // ill-formed UTF-8
}

TEST(Cp1252, Utf8TextIsToldFromAnsiText) {
  EXPECT_TRUE(IsNonAsciiUtf8("Vidéos"));
  EXPECT_FALSE(IsNonAsciiUtf8("Vid\xE9os"));
  EXPECT_FALSE(IsNonAsciiUtf8("plain ascii"));
  EXPECT_FALSE(IsNonAsciiUtf8("\xC3"));  // cut short
}

}  // namespace
}  // namespace tabulor::shell
