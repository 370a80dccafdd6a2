#include "db/access/jet_text.h"

#include <cstdint>
#include <memory>

namespace tabulor::db::access {
namespace {

constexpr char32_t kReplacement = 0xfffd;

// Writes `c` as UTF-8 at `out`; the byte after it.
char* PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xc0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xe0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    *out++ = static_cast<char>(0x80 | (c & 0x3f));
  } else {
    *out++ = static_cast<char>(0xf0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    *out++ = static_cast<char>(0x80 | (c & 0x3f));
  }
  return out;
}

// The UTF-16 units of a stored value into `units` (room for stored.size()
// units: every unit takes at least one stored byte); their count.
size_t Units(std::string_view stored, char16_t* units) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(stored.data());
  const size_t size = stored.size();
  size_t n = 0;
  const bool compressed = size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe;
  if (!compressed) {
    for (size_t i = 0; i + 1 < size; i += 2) units[n++] = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    return n;
  }
  bool one_byte = true;
  for (size_t i = 2; i < size;) {
    if (bytes[i] == 0) {
      one_byte = !one_byte;
      ++i;
    } else if (one_byte) {
      units[n++] = bytes[i++];
    } else if (i + 1 < size) {
      units[n++] = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
      i += 2;
    } else {
      break;
    }
  }
  return n;
}

}  // namespace

std::string Jet4TextToUtf8(std::string_view stored) {
  if (stored.empty()) return {};
  // Texts are short or a memo of some kilobytes: one pass into buffers of
  // their largest size, cut at the end.
  const std::unique_ptr<char16_t[]> units(new char16_t[stored.size()]);
  const size_t count = Units(stored, units.get());
  std::string out(count * 3, '\0');  // at most three bytes a unit (four for a pair of two)
  char* p = out.data();
  for (size_t i = 0; i < count; ++i) {
    const char16_t u = units[i];
    if (u < 0x80) {
      *p++ = static_cast<char>(u);
    } else if (u >= 0xd800 && u < 0xdc00 && i + 1 < count && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000) {
      p = PutUtf8(p, 0x10000 + ((static_cast<char32_t>(u) - 0xd800) << 10) + (units[i + 1] - 0xdc00));
      ++i;
    } else if (u >= 0xd800 && u < 0xe000) {
      p = PutUtf8(p, kReplacement);
    } else {
      p = PutUtf8(p, u);
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

}  // namespace tabulor::db::access
