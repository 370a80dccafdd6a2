#pragma once
// Upper-casing of text bytes in a table's code page, as case-insensitive
// indexes store their alpha keys: accented letters are upper-cased too
// (é -> É in cp1252), wherever the code page holds the capital letter.
#include <array>
#include <cstdint>

#include "db/paradox/format/codepage.h"

namespace tabulor::db::index {

class CaseFold {
 public:
  explicit CaseFold(const format::CodePage& cp);
  uint8_t Upper(uint8_t byte) const { return upper_[byte]; }
  void UpperInPlace(uint8_t* bytes, int n) const {
    for (int i = 0; i < n; ++i) bytes[i] = upper_[bytes[i]];
  }

 private:
  void Fill(const format::CodePage& cp);
  std::array<uint8_t, 256> upper_{};
};

}  // namespace tabulor::db::index
