#include "db/paradox/upper_case.h"

#include <stdexcept>

#include "db/paradox/format/codepage.h"
#include "db/paradox/index/case_fold.h"

namespace tabulor::db {
namespace {

// The length of the UTF-8 sequence led by `lead` (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

std::string UpperCase(std::string_view utf8, const TableDef& table) {
  const format::CodePage code_page(table.code_page, format::CodePage::CharsetFor(table.code_page, table.sort_order));
  const index::CaseFold fold(code_page);
  std::string upper;
  upper.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = std::min(SequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    const std::string_view character = utf8.substr(i, length);
    i += length;
    try {
      std::string byte = code_page.FromUtf8(character);
      if (byte.size() == 1) {
        byte[0] = static_cast<char>(fold.Upper(static_cast<uint8_t>(byte[0])));
        upper += code_page.ToUtf8(byte);
        continue;
      }
    } catch (const std::invalid_argument&) {
      // Not in the code page: storing it will say so.
    }
    upper += character;
  }
  return upper;
}

}  // namespace tabulor::db
