#include "shell/cp1252.h"

#include <array>
#include <cstdint>

namespace tabulor::shell {
namespace {

// 0x80..0x9F; 0 marks the five bytes cp1252 leaves undefined (kept as C1 controls).
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t ByteToCodePoint(uint8_t b) {
  if (b >= 0x80 && b <= 0x9F && kHighControls[b - 0x80] != 0) return kHighControls[b - 0x80];
  return b;
}

int CodePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
  if (cp >= 0x80 && cp <= 0x9F && kHighControls[cp - 0x80] == 0) return static_cast<int>(cp);
  return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; an ill-formed one yields U+FFFD and one byte.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto lead = static_cast<uint8_t>(s[i]);
  int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const auto c = static_cast<uint8_t>(s[i + k]);
    if ((c & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  i += length;
  return cp;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const int b = CodePointToByte(NextCodePoint(utf8, i));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

bool IsNonAsciiUtf8(std::string_view bytes) {
  bool non_ascii = false;
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    non_ascii = true;
    if (NextCodePoint(bytes, i) == 0xFFFD) return false;
  }
  return non_ascii;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 8);
  for (char c : cp1252) AppendUtf8(out, ByteToCodePoint(static_cast<uint8_t>(c)));
  return out;
}

}  // namespace tabulor::shell
