#include "db/paradox/format/codepage.h"

#include <cerrno>
#include <stdexcept>

namespace tabulor::db::format {
namespace {

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// The UTF-8 sequence starting at s[i], for an error message.
std::string CharacterAt(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return std::string(s.substr(i, n));
}

}  // namespace

std::string CodePage::CharsetFor(int code_page, std::string_view sort_order) {
  if (sort_order == "BLROM800") return "HP-ROMAN8";
  if (code_page == 936) return "GBK";
  if (code_page <= 0) return "CP1252";
  return "CP" + std::to_string(code_page);
}

CodePage::CodePage(int code_page, std::string charset)
    : number_(code_page), charset_(charset.empty() ? CharsetFor(code_page, {}) : std::move(charset)) {
  to_utf8_ = iconv_open("UTF-8", charset_.c_str());
  from_utf8_ = iconv_open(charset_.c_str(), "UTF-8");
  if (to_utf8_ == reinterpret_cast<iconv_t>(-1) || from_utf8_ == reinterpret_cast<iconv_t>(-1)) {
    if (to_utf8_ != reinterpret_cast<iconv_t>(-1)) iconv_close(to_utf8_);
    if (from_utf8_ != reinterpret_cast<iconv_t>(-1)) iconv_close(from_utf8_);
    throw std::invalid_argument("unsupported code page " + charset_);
  }
}

CodePage::~CodePage() {
  iconv_close(to_utf8_);
  iconv_close(from_utf8_);
}

std::string CodePage::Convert(iconv_t cd, std::string_view in, bool to_table) const {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(in.size() * 4 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  while (src_left > 0) {
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
      if (errno == E2BIG) {
        size_t used = static_cast<size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dst_left = out.size() - used;
        continue;
      }
      size_t at = in.size() - src_left;
      if (to_table)
        throw std::invalid_argument("the character \"" + CharacterAt(in, at) +
                                    "\" cannot be stored in code page " + charset_);
      throw std::invalid_argument("byte " + std::to_string(static_cast<unsigned char>(in[at])) +
                                  " is not valid text in code page " + charset_);
    }
  }
  out.resize(out.size() - dst_left);
  return out;
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  if (IsAscii(bytes)) return std::string(bytes);
  return Convert(to_utf8_, bytes, false);
}

std::string CodePage::FromUtf8(std::string_view text) const {
  if (IsAscii(text)) return std::string(text);
  return Convert(from_utf8_, text, true);
}

}  // namespace tabulor::db::format
