#include "db/paradox/index/case_fold.h"

#include <locale.h>
#include <wctype.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tabulor::db::index {
namespace {

// One code point from UTF-8 text holding exactly one character; -1 otherwise.
long DecodeOne(const std::string& s) {
  if (s.empty()) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  int len = p[0] < 0x80 ? 1 : (p[0] >> 5) == 6 ? 2 : (p[0] >> 4) == 14 ? 3 : (p[0] >> 3) == 30 ? 4 : 0;
  if (len == 0 || static_cast<size_t>(len) != s.size()) return -1;
  long cp = len == 1 ? p[0] : p[0] & (0x3F >> (len - 1));
  for (int i = 1; i < len; ++i) cp = (cp << 6) | (p[i] & 0x3F);
  return cp;
}

std::string EncodeOne(long cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

locale_t UnicodeCtype() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }();
  return loc;
}

}  // namespace

CaseFold::CaseFold(const format::CodePage& cp) {
  // Every search through an index folds its key: the table of a code page is
  // made once (128 conversions through Unicode), then copied.
  static std::mutex mutex;
  static std::map<std::pair<int, std::string>, std::array<uint8_t, 256>> made;
  const std::pair<int, std::string> id{cp.Number(), cp.Charset()};
  {
    const std::lock_guard lock(mutex);
    if (auto it = made.find(id); it != made.end()) {
      upper_ = it->second;
      return;
    }
  }
  Fill(cp);
  const std::lock_guard lock(mutex);
  made.emplace(id, upper_);
}

void CaseFold::Fill(const format::CodePage& cp) {
  for (int b = 0; b < 256; ++b) {
    upper_[b] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 32 : b);
    if (b < 0x80) continue;
    // Each byte of the code page goes through Unicode and back; a capital the
    // code page cannot hold leaves the byte as it is.
    try {
      long code = DecodeOne(cp.ToUtf8(std::string(1, static_cast<char>(b))));
      if (code < 0) continue;
      long upper = static_cast<long>(towupper_l(static_cast<wint_t>(code), UnicodeCtype()));
      if (upper == code) continue;
      std::string back = cp.FromUtf8(EncodeOne(upper));
      if (back.size() == 1) upper_[b] = static_cast<uint8_t>(back[0]);
    } catch (const std::exception&) {
      // Bytes the code page does not define stay as they are.
    }
  }
}

}  // namespace tabulor::db::index
