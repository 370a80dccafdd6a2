#include "db/access/jet_text.h"

#include <cstdint>
#include <vector>

namespace tabulor::db::access {
namespace {

constexpr char32_t kReplacement = 0xfffd;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

std::vector<char16_t> Units(std::string_view stored) {
  std::vector<char16_t> units;
  units.reserve(stored.size() / 2 + 1);
  auto byte = [&](size_t i) { return static_cast<uint8_t>(stored[i]); };
  const bool compressed = stored.size() >= 2 && byte(0) == 0xff && byte(1) == 0xfe;
  if (!compressed) {
    for (size_t i = 0; i + 1 < stored.size(); i += 2) units.push_back(static_cast<char16_t>(byte(i) | byte(i + 1) << 8));
    return units;
  }
  bool one_byte = true;
  for (size_t i = 2; i < stored.size();) {
    if (byte(i) == 0) {
      one_byte = !one_byte;
      ++i;
    } else if (one_byte) {
      units.push_back(byte(i++));
    } else if (i + 1 < stored.size()) {
      units.push_back(static_cast<char16_t>(byte(i) | byte(i + 1) << 8));
      i += 2;
    } else {
      break;
    }
  }
  return units;
}

}  // namespace

std::string Jet4TextToUtf8(std::string_view stored) {
  const std::vector<char16_t> units = Units(stored);
  std::string out;
  out.reserve(units.size() * 3);
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xd800 && u < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xd800) << 10) + (units[i + 1] - 0xdc00));
      ++i;
    } else if (u >= 0xd800 && u < 0xe000) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace tabulor::db::access
