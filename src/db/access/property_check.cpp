#include "db/access/property_check.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

constexpr size_t kBlobHeader = 4;     // "KKD" or "MR2" and a NUL
constexpr size_t kRecordHeader = 6;   // 32-bit length, 16-bit type
constexpr size_t kValueHeader = 8;    // length, 0, type, name number, value length
constexpr uint16_t kNamesRecord = 0x80;
// Jet column types, as the values of properties carry them.
constexpr uint8_t kBoolean = 1, kByte = 2, kInteger = 3, kLong = 4, kCurrency = 5, kSingle = 6, kDouble = 7,
                  kDateTime = 8, kGuid = 15, kComplex = 18;

[[noreturn]] void Damaged() { throw AccessError("propriétés d'un objet illisibles"); }

uint16_t Le16At(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t Le32At(std::string_view b, size_t at) { return Le16At(b, at) | static_cast<uint32_t>(Le16At(b, at + 2)) << 16; }

// Bytes libmdb reads for a value of `type` whatever its stored length.
size_t ValueBytesRead(uint8_t type) {
  switch (type) {
    case kBoolean:
    case kByte: return 1;
    case kInteger: return 2;
    case kLong:
    case kSingle:
    case kComplex: return 4;
    case kDouble:
    case kDateTime: return 8;
    case kGuid: return 16;
    default: return 0;
  }
}

// A list of names: each a 16-bit length and that many bytes. Gives their number.
size_t CheckNames(std::string_view names) {
  size_t count = 0;
  for (size_t at = 0; at < names.size(); ++count) {
    if (at + 2 > names.size() || at + 2 + Le16At(names, at) > names.size()) Damaged();
    at += 2 + Le16At(names, at);
  }
  return count;
}

// A block of values: a header with the block's name, then values that each
// name one of `names` names. libmdb stops at a value naming none or
// overrunning the block, so what follows it is never read.
void CheckValues(std::string_view block, size_t names) {
  if (block.size() < 6 || 6 + size_t{Le16At(block, 4)} > block.size()) Damaged();
  for (size_t at = 6 + Le16At(block, 4); at < block.size();) {
    if (at + kValueHeader > block.size()) Damaged();
    const size_t length = Le16At(block, at);
    const uint8_t type = static_cast<uint8_t>(block[at + 3]);
    const size_t size = Le16At(block, at + 6);
    if (Le16At(block, at + 4) >= names || at + kValueHeader + size > block.size()) return;
    // libmdb reads a currency value from elsewhere than the blob.
    if (type == kCurrency || size < ValueBytesRead(type) || length < kValueHeader + size || at + length > block.size())
      Damaged();
    at += length;
  }
}

}  // namespace

void CheckPropertyBlob(std::string_view blob) {
  if (blob.empty()) return;
  if (blob.size() < kBlobHeader) Damaged();
  const std::string_view kind = blob.substr(0, kBlobHeader);
  if (kind != std::string_view("KKD\0", 4) && kind != std::string_view("MR2\0", 4)) Damaged();
  size_t names = 0;
  bool have_names = false;
  for (size_t at = kBlobHeader; at < blob.size();) {
    if (at + kRecordHeader > blob.size()) Damaged();
    const uint32_t length = Le32At(blob, at);
    if (length < kRecordHeader || length > blob.size() - at) Damaged();
    const std::string_view content = blob.substr(at + kRecordHeader, length - kRecordHeader);
    const uint16_t type = Le16At(blob, at + 4);
    if (type == kNamesRecord) {
      names = CheckNames(content);
      have_names = true;
    } else if (type <= 2 && have_names) {
      CheckValues(content, names);
    }
    at += length;
  }
}

}  // namespace tabulor::db::access
