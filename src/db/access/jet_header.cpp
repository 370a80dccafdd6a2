#include "db/access/jet_header.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace tabulor::db::access {
namespace {

constexpr size_t kMaskedStart = 0x18;
constexpr size_t kJet3MaskedLength = 126;
constexpr size_t kJet4MaskedLength = 128;
constexpr size_t kPasswordAt = 0x42;
constexpr size_t kJet3PasswordLength = 20;
constexpr size_t kJet4PasswordLength = 40;
constexpr size_t kCreationDateAt = 0x72;

// Un-masks `length` bytes with the RC4 keystream of the key C7 DA 39 6B.
void Unmask(uint8_t* bytes, size_t length) {
  const uint8_t key[4] = {0xc7, 0xda, 0x39, 0x6b};
  std::array<uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xff;
    std::swap(s[i], s[j]);
  }
  for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xff;
    j = (j + s[i]) & 0xff;
    std::swap(s[i], s[j]);
    bytes[n] ^= s[(s[i] + s[j]) & 0xff];
  }
}

// The creation date's integer part as a 32-bit integer, saturated (a damaged
// date may be out of range or not a number, which gives 0).
int32_t DayNumber(double date) {
  if (std::isnan(date)) return 0;
  if (date <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (date >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(date);
}

}  // namespace

bool HasDatabasePassword(const uint8_t* page, size_t size, bool jet3) {
  const size_t masked_length = jet3 ? kJet3MaskedLength : kJet4MaskedLength;
  if (size < kMaskedStart + masked_length) return false;
  uint8_t header[kMaskedStart + kJet4MaskedLength];
  std::memcpy(header, page, kMaskedStart + masked_length);
  Unmask(header + kMaskedStart, masked_length);
  const size_t length = jet3 ? kJet3PasswordLength : kJet4PasswordLength;
  uint8_t mask[4] = {};
  if (!jet3) {
    double date = 0;
    std::memcpy(&date, header + kCreationDateAt, sizeof date);
    const auto day = static_cast<uint32_t>(DayNumber(date));
    for (int i = 0; i < 4; ++i) mask[i] = static_cast<uint8_t>(day >> (8 * i));
  }
  for (size_t i = 0; i < length; ++i)
    if ((header[kPasswordAt + i] ^ mask[i % 4]) != 0) return true;
  return false;
}

}  // namespace tabulor::db::access
