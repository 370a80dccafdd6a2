#include "db/common/dump_text.h"

#include <zlib.h>

#include <cstdio>

namespace tabulor::db {

std::string DumpEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DumpBlob(const uint8_t* data, size_t size, bool hex) {
  if (hex) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
      out += kDigits[data[i] >> 4];
      out += kDigits[data[i] & 15];
    }
    return out;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  if (size) crc = crc32(crc, data, static_cast<uInt>(size));
  char buf[48];
  std::snprintf(buf, sizeof buf, "blob:%zu:%08lx", size, static_cast<unsigned long>(crc));
  return buf;
}

}  // namespace tabulor::db
