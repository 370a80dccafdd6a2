#include "db/access/jet_text.h"

#include <cstdint>

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

// Turns UTF-16 units into UTF-8 as they come: a high surrogate waits for the
// unit after it.
class Utf8Writer {
 public:
  explicit Utf8Writer(char* out) : out_(out) {}
  void Unit(char16_t u) {
    if (u < 0x80 && !high_) {
      *out_++ = static_cast<char>(u);
      return;
    }
    if (high_) {
      if (u >= 0xdc00 && u < 0xe000) {
        out_ = PutUtf8(out_, 0x10000 + ((static_cast<char32_t>(high_) - 0xd800) << 10) + (u - 0xdc00));
        high_ = 0;
        return;
      }
      out_ = PutUtf8(out_, kReplacement);
      high_ = 0;
    }
    if (u >= 0xd800 && u < 0xdc00) high_ = u;
    else if (u >= 0xdc00 && u < 0xe000) out_ = PutUtf8(out_, kReplacement);
    else out_ = PutUtf8(out_, u);
  }
  char* End() {
    if (high_) out_ = PutUtf8(out_, kReplacement);
    high_ = 0;
    return out_;
  }

 private:
  char* out_;
  char16_t high_ = 0;
};

}  // namespace

std::string Jet4TextToUtf8(std::string_view stored) {
  if (stored.empty()) return {};
  const auto* bytes = reinterpret_cast<const uint8_t*>(stored.data());
  const size_t size = stored.size();
  // Every unit takes at least one stored byte and gives at most three bytes
  // of UTF-8 (a surrogate pair, two units, gives four). Memos of some
  // kilobytes come one after the other: one buffer serves them all.
  thread_local std::string buffer;
  if (buffer.size() < 3 * size) buffer.resize(3 * size);
  Utf8Writer writer(buffer.data());
  const bool compressed = size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe;
  if (!compressed) {
    for (size_t i = 0; i + 1 < size; i += 2) writer.Unit(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  } else {
    bool one_byte = true;
    for (size_t i = 2; i < size;) {
      if (bytes[i] == 0) {
        one_byte = !one_byte;
        ++i;
      } else if (one_byte) {
        writer.Unit(bytes[i++]);
      } else if (i + 1 < size) {
        writer.Unit(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
        i += 2;
      } else {
        break;
      }
    }
  }
  std::string out(buffer.data(), writer.End());
  if (buffer.size() > (size_t{1} << 22)) std::string().swap(buffer);  // keeps no more than a few megabytes
  return out;
}

}  // namespace tabulor::db::access
