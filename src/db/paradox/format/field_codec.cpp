#include "db/paradox/format/field_codec.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "db/paradox/format/bytes.h"

namespace tabulor::db::format {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr int kBcdSignificantDigits = 18;

}  // namespace

bool IsBlankField(const uint8_t* field, int n) {
  for (int i = 0; i < n; ++i)
    if (field[i]) return false;
  return true;
}

BlobLeader ReadBlobLeader(const uint8_t* field, int n) {
  const uint8_t* t = field + n - 10;
  return {GetLe32(t), GetLe32(t + 4), GetLe16(t + 8)};
}

void WriteBlobLeader(uint8_t* field, int n, const BlobLeader& l) {
  uint8_t* t = field + n - 10;
  PutLe32(t, l.offset_index);
  PutLe32(t + 4, l.length);
  PutLe16(t + 8, l.mod_nr);
}

int64_t DecodeInt(const uint8_t* p, int n) {
  uint64_t raw = GetBe(p, n) ^ (1ull << (8 * n - 1));
  uint64_t sign = 1ull << (8 * n - 1);
  return static_cast<int64_t>((raw ^ sign) - sign);
}

void EncodeInt(uint8_t* p, int n, int64_t v) {
  uint64_t mask = n == 8 ? ~0ull : ((1ull << (8 * n)) - 1);
  PutBe(p, n, (static_cast<uint64_t>(v) & mask) ^ (1ull << (8 * n - 1)));
}

double DecodeDouble(const uint8_t* p) {
  uint64_t raw = GetBe(p, 8);
  raw = (raw & (1ull << 63)) ? raw & ~(1ull << 63) : ~raw;
  double d;
  std::memcpy(&d, &raw, 8);
  return d;
}

void EncodeDouble(uint8_t* p, double v) {
  uint64_t raw;
  std::memcpy(&raw, &v, 8);
  raw = (raw & (1ull << 63)) ? ~raw : raw | (1ull << 63);
  PutBe(p, 8, raw);
}

std::string DecodeBcd(const uint8_t* p) {
  bool positive = (p[0] & 0x80) != 0;
  int decimals = p[0] & 0x3F;
  std::string digits;
  int significant = 0;
  for (int i = 0; i < 32; ++i) {
    uint8_t byte = p[1 + i / 2];
    if (!positive) byte = static_cast<uint8_t>(~byte);
    int nib = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    // The engine keeps 18 significant digits; the nibbles after them may hold noise.
    if (significant > 0 || nib != 0) ++significant;
    digits.push_back(static_cast<char>('0' + (nib > 9 || significant > kBcdSignificantDigits ? 0 : nib)));
  }
  if (decimals > 32) decimals = 32;
  std::string whole = digits.substr(0, 32 - decimals);
  std::string frac = digits.substr(32 - decimals);
  size_t nz = whole.find_first_not_of('0');
  whole = nz == std::string::npos ? "0" : whole.substr(nz);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = whole;
  if (!frac.empty()) out += "." + frac;
  if (!positive && out != "0") out = "-" + out;
  return out;
}

void EncodeBcd(uint8_t* p, int decimals, std::string_view text) {
  bool negative = false;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string whole, frac;
  bool in_frac = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' || c == ',') {
      if (in_frac) throw std::invalid_argument("not a number");
      in_frac = true;
    } else if (c >= '0' && c <= '9') {
      (in_frac ? frac : whole).push_back(c);
    } else {
      throw std::invalid_argument("not a number");
    }
  }
  if (whole.empty() && frac.empty()) throw std::invalid_argument("not a number");
  if (frac.size() > static_cast<size_t>(decimals)) frac.resize(static_cast<size_t>(decimals));
  frac.append(static_cast<size_t>(decimals) - frac.size(), '0');
  size_t nz = whole.find_first_not_of('0');
  whole = nz == std::string::npos ? "" : whole.substr(nz);
  if (whole.size() + frac.size() > 32) throw std::invalid_argument("number too large for the field");
  std::string digits = std::string(32 - whole.size() - frac.size(), '0') + whole + frac;
  if (digits.find_first_not_of('0') == std::string::npos) negative = false;
  p[0] = static_cast<uint8_t>((negative ? 0x00 : 0x80) | 0x40 | decimals);
  for (int k = 0; k < 16; ++k) {
    uint8_t b = static_cast<uint8_t>(((digits[2 * k] - '0') << 4) | (digits[2 * k + 1] - '0'));
    p[1 + k] = negative ? static_cast<uint8_t>(~b) : b;
  }
}

Value DecodeField(FieldType type, const uint8_t* f, int n, const CodePage& cp) {
  if (IsBlankField(f, n)) return {};
  switch (type) {
    case FieldType::kAlpha: {
      size_t len = strnlen(reinterpret_cast<const char*>(f), static_cast<size_t>(n));
      return cp.ToUtf8(std::string_view(reinterpret_cast<const char*>(f), len));
    }
    case FieldType::kShort: case FieldType::kLong: case FieldType::kAutoInc:
      return DecodeInt(f, n);
    case FieldType::kDate: return DateTime::FromOrdinalDays(static_cast<int32_t>(DecodeInt(f, 4)));
    case FieldType::kTime: {
      int64_t ms = DecodeInt(f, 4);
      if (ms < 0 || ms >= 86400000) throw std::invalid_argument("time out of range");
      return DateTime::FromMillisecondsOfDay(static_cast<int32_t>(ms));
    }
    case FieldType::kMoney: case FieldType::kNumber: return DecodeDouble(f);
    case FieldType::kTimestamp: {
      double ms = DecodeDouble(f);
      if (!(ms >= 0 && ms < 3652060.0 * kMsPerDay)) throw std::invalid_argument("timestamp out of range");
      int64_t total = std::llround(ms);
      DateTime d = DateTime::FromOrdinalDays(static_cast<int32_t>(total / 86400000));
      DateTime t = DateTime::FromMillisecondsOfDay(static_cast<int32_t>(total % 86400000));
      d.hour = t.hour; d.minute = t.minute; d.second = t.second; d.msec = t.msec;
      return d;
    }
    case FieldType::kLogical: return f[0] != 0x80;
    case FieldType::kBcd: return DecodeBcd(f);
    case FieldType::kBytes: return Blob(f, f + n);
    default: throw std::invalid_argument("blob field read as a plain value");
  }
}

void EncodeField(FieldType type, const Value& v, uint8_t* f, int n, int decimals, const CodePage& cp) {
  std::memset(f, 0, static_cast<size_t>(n));
  if (IsNull(v)) return;
  switch (type) {
    case FieldType::kAlpha: {
      std::string bytes = cp.FromUtf8(std::get<std::string>(v));
      std::memcpy(f, bytes.data(), std::min(bytes.size(), static_cast<size_t>(n)));
      return;
    }
    case FieldType::kShort: case FieldType::kLong: case FieldType::kAutoInc: {
      int64_t x = std::get<int64_t>(v);
      int64_t lo = n == 2 ? INT16_MIN : INT32_MIN, hi = n == 2 ? INT16_MAX : INT32_MAX;
      if (x < lo || x > hi) throw std::invalid_argument("value " + std::to_string(x) + " out of range");
      EncodeInt(f, n, x);
      return;
    }
    case FieldType::kDate: {
      const DateTime& d = std::get<DateTime>(v);
      if (!d.HasDate()) return;
      if (!d.IsValidDate()) throw std::invalid_argument("invalid date");
      EncodeInt(f, 4, d.OrdinalDays());
      return;
    }
    case FieldType::kTime: EncodeInt(f, 4, std::get<DateTime>(v).MillisecondsOfDay()); return;
    case FieldType::kMoney: case FieldType::kNumber: {
      double d = std::get<double>(v);
      if (!std::isfinite(d)) throw std::invalid_argument("not a finite number");
      EncodeDouble(f, d);
      return;
    }
    case FieldType::kTimestamp: {
      const DateTime& d = std::get<DateTime>(v);
      if (d.HasDate() && !d.IsValidDate()) throw std::invalid_argument("invalid date");
      EncodeDouble(f, static_cast<double>(d.OrdinalDays()) * kMsPerDay + d.MillisecondsOfDay());
      return;
    }
    case FieldType::kLogical: f[0] = std::get<bool>(v) ? 0x81 : 0x80; return;
    case FieldType::kBcd: EncodeBcd(f, decimals, std::get<std::string>(v)); return;
    case FieldType::kBytes: {
      const Blob& b = std::get<Blob>(v);
      std::memcpy(f, b.data(), std::min(b.size(), static_cast<size_t>(n)));
      return;
    }
    default: throw std::invalid_argument("blob field written as a plain value");
  }
}

}  // namespace tabulor::db::format
