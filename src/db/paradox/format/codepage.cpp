#include "db/paradox/format/codepage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <optional>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

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

// One whole conversion of `in`; nullopt when iconv refuses it (`incomplete`
// tells an input cut inside a character).
std::optional<std::string> ConvertOnce(iconv_t cd, std::string_view in, bool* incomplete = nullptr) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char out[16];
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out;
  size_t dst_left = sizeof out;
  if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0) {
    if (incomplete) *incomplete = errno == EINVAL;
    return std::nullopt;
  }
  return std::string(out, sizeof out - dst_left);
}

// The code point of a well-formed UTF-8 sequence of one to three bytes at
// `p` (n bytes left), and its length; 0 for anything else (a longer or
// malformed sequence), which is left to iconv.
size_t DecodeShortUtf8(const unsigned char* p, size_t n, char32_t& c) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  auto continuation = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  if (lead >= 0xC2 && lead < 0xE0 && continuation(1)) {
    c = (char32_t{lead} & 0x1F) << 6 | (p[1] & 0x3F);
    return 2;
  }
  if (lead >= 0xE0 && lead < 0xF0 && continuation(1) && continuation(2)) {
    c = (char32_t{lead} & 0x0F) << 12 | char32_t{p[1] & 0x3Fu} << 6 | (p[2] & 0x3F);
    if (c < 0x800 || (c >= 0xD800 && c < 0xE000)) return 0;  // overlong, or a surrogate
    return 3;
  }
  return 0;
}

}  // namespace

// The conversions of a single-byte code page, taken from iconv once per
// process and code page: each byte's UTF-8 text, and the byte of each
// character the code page holds. A text with anything else (a character the
// code page lacks, a byte it does not define, malformed UTF-8) goes to iconv
// whole, so that its result and its errors are iconv's.
struct CodePage::Tables {
  std::array<std::string, 256> utf8;       // empty: the byte is not text in the code page
  std::array<uint16_t, 256> low{};         // characters below U+0100: their byte + 1 (0: none)
  std::vector<std::pair<char32_t, uint8_t>> high;  // the others, by character

  int ByteOf(char32_t c) const {
    if (c < 0x100) return low[c] - 1;
    auto it = std::lower_bound(high.begin(), high.end(), std::make_pair(c, uint8_t{0}));
    return it != high.end() && it->first == c ? it->second : -1;
  }
};

const CodePage::Tables* CodePage::SingleByteTables() const {
  if (tables_found_) return tables_.get();
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const Tables>> made;  // by charset; null: not single-byte
  std::lock_guard<std::mutex> lock(mutex);
  auto found = made.find(charset_);
  if (found == made.end()) {
    auto tables = std::make_shared<Tables>();
    bool single_byte = true;
    for (int b = 0; b < 256 && single_byte; ++b) {
      const char byte = static_cast<char>(b);
      bool incomplete = false;
      std::optional<std::string> text = ConvertOnce(to_utf8_, std::string_view(&byte, 1), &incomplete);
      if (incomplete) single_byte = false;  // a byte that starts a longer character
      char32_t c = 0;
      if (!text || text->empty() ||
          DecodeShortUtf8(reinterpret_cast<const unsigned char*>(text->data()), text->size(), c) != text->size())
        continue;
      tables->utf8[b] = *text;
      // The way back only where iconv itself goes back to this byte.
      const std::optional<std::string> back = ConvertOnce(from_utf8_, *text);
      if (!back || *back != std::string(1, byte) || tables->ByteOf(c) >= 0) continue;
      if (c < 0x100) tables->low[c] = static_cast<uint16_t>(b + 1);
      else tables->high.insert(std::lower_bound(tables->high.begin(), tables->high.end(), std::make_pair(c, uint8_t{0})),
                               {c, static_cast<uint8_t>(b)});
    }
    found = made.emplace(charset_, single_byte ? std::shared_ptr<const Tables>(std::move(tables)) : nullptr).first;
  }
  tables_ = found->second;
  tables_found_ = true;
  return tables_.get();
}

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
  if (const Tables* tables = SingleByteTables()) {
    std::string out;
    out.reserve(bytes.size() * 2);
    bool whole = true;
    for (unsigned char b : bytes) {
      const std::string& text = tables->utf8[b];
      if (text.empty()) {
        whole = false;
        break;
      }
      out += text;
    }
    if (whole) return out;
  }
  return Convert(to_utf8_, bytes, false);
}

std::string CodePage::FromUtf8(std::string_view text) const {
  if (IsAscii(text)) return std::string(text);
  if (const Tables* tables = SingleByteTables()) {
    std::string out(text.size(), '\0');  // one byte a character, at most one a UTF-8 byte
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    char* o = out.data();
    while (p < end) {
      int byte = -1;
      size_t length = 0;
      if (*p < 0x80) {  // the usual characters first: ASCII, then two-byte sequences
        byte = tables->low[*p] - 1;
        length = 1;
      } else if (*p >= 0xC2 && *p < 0xE0 && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
        byte = tables->ByteOf((char32_t{p[0]} & 0x1F) << 6 | (p[1] & 0x3F));
        length = 2;
      } else {
        char32_t c = 0;
        length = DecodeShortUtf8(p, static_cast<size_t>(end - p), c);
        if (length) byte = tables->ByteOf(c);
      }
      if (byte < 0) break;
      *o++ = static_cast<char>(byte);
      p += length;
    }
    if (p == end) {
      out.resize(static_cast<size_t>(o - out.data()));
      return out;
    }
  }
  return Convert(from_utf8_, text, true);
}

}  // namespace tabulor::db::format
