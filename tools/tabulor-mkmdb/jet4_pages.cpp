#include "tools/tabulor-mkmdb/jet4_pages.h"

#include <cstring>
#include <stdexcept>

namespace tabulor::mkmdb {

void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> Ucs2(const std::string& utf8) {
  std::vector<uint8_t> out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > utf8.size()) throw std::invalid_argument("invalid UTF-8 text");
    uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xc0) != 0x80) throw std::invalid_argument("invalid UTF-8 text");
      code = (code << 6) | (next & 0x3f);
    }
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      AppendU16(out, static_cast<uint16_t>(0xd800 + (code >> 10)));
      AppendU16(out, static_cast<uint16_t>(0xdc00 + (code & 0x3ff)));
    } else {
      AppendU16(out, static_cast<uint16_t>(code));
    }
  }
  if (out.size() >= 2 && out[0] == 0xff && out[1] == 0xfe)
    throw std::invalid_argument("a text may not start with U+FEFF");  // it would read as compressed text
  return out;
}

DataPage::DataPage(uint32_t owner) : page_(kPageSize, 0) {
  page_[0] = 0x01;
  page_[1] = 0x01;
  PutU32(page_, 4, owner);
  PutU16(page_, 2, static_cast<uint16_t>(kPageSize - kDataPageHeader));
}

bool DataPage::Fits(size_t row_size) const {
  const size_t offsets_end = kDataPageHeader + 2 * (rows_ + 1);
  return rows_ < kMaxRowsPerPage && row_size + offsets_end <= free_end_;
}

int DataPage::Add(const std::vector<uint8_t>& row) {
  if (!Fits(row.size())) throw std::invalid_argument("row does not fit the page");
  free_end_ -= row.size();
  std::copy(row.begin(), row.end(), page_.begin() + static_cast<long>(free_end_));
  PutU16(page_, kDataPageHeader + 2 * rows_, static_cast<uint16_t>(free_end_));
  ++rows_;
  PutU16(page_, 12, static_cast<uint16_t>(rows_));
  PutU16(page_, 2, static_cast<uint16_t>(free_end_ - kDataPageHeader - 2 * rows_));
  return static_cast<int>(rows_ - 1);
}

std::vector<uint8_t> UsageMapRow(const std::vector<uint32_t>& pages) {
  std::vector<uint8_t> row(kUsageMapRowSize, 0);
  if (pages.empty()) return row;
  const uint32_t start = pages.front();
  const uint32_t span = pages.back() - start + 1;
  // Readers take the bitmap's length from the row's: a table of more than
  // 512 pages gets a longer row.
  if (span > (kUsageMapRowSize - 5) * 8) row.resize(5 + (span + 7) / 8, 0);
  PutU32(row, 1, start);
  for (uint32_t page : pages) {
    if (page < start) throw std::invalid_argument("usage map pages out of order");
    const uint32_t bit = page - start;
    row[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  return row;
}

namespace {

// The header region from 0x18 is stored XORed with the RC4 keystream of the
// fixed key C7 DA 39 6B; readers undo it before looking at the database key.
std::vector<uint8_t> HeaderKeystream(size_t length) {
  const uint8_t key[4] = {0xc7, 0xda, 0x39, 0x6b};
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xff;
    std::swap(s[i], s[j]);
  }
  std::vector<uint8_t> stream(length);
  for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xff;
    j = (j + s[i]) & 0xff;
    std::swap(s[i], s[j]);
    stream[n] = s[(s[i] + s[j]) & 0xff];
  }
  return stream;
}

constexpr size_t kMaskedStart = 0x18;
constexpr size_t kMaskedLength = 128;
constexpr size_t kJet3MaskedLength = 126;
constexpr size_t kPasswordAt = 0x42;
constexpr size_t kCreationDateAt = 0x72;
constexpr double kCreationDate = 44928.5;  // 2023-01-02 12:00

void ToggleMask(Page& header, size_t length) {
  const auto stream = HeaderKeystream(length);
  for (size_t i = 0; i < length; ++i) header[kMaskedStart + i] ^= stream[i];
}

}  // namespace

void SetDatabasePassword(Page& header, const std::string& password) {
  if (header.size() < kMaskedStart + kMaskedLength) throw std::invalid_argument("not a header page");
  const bool jet3 = header[0x14] == 0;
  const size_t masked = jet3 ? kJet3MaskedLength : kMaskedLength;
  std::vector<uint8_t> stored;
  if (jet3) {
    for (char c : password)
      if (static_cast<unsigned char>(c) >= 0x80) throw std::invalid_argument("a Jet 3 password is ASCII");
    stored.assign(password.begin(), password.end());
  } else {
    stored = Ucs2(password);
  }
  const size_t area = jet3 ? 20 : 40;
  if (stored.size() > area) throw std::invalid_argument("the password is longer than 20 characters");
  stored.resize(area, 0);
  ToggleMask(header, masked);
  if (!jet3) {
    double date = 0;
    std::memcpy(&date, &header[kCreationDateAt], sizeof date);
    const auto day = static_cast<uint32_t>(static_cast<int32_t>(date));
    for (size_t i = 0; i < area; ++i) stored[i] ^= static_cast<uint8_t>(day >> (8 * (i % 4)));
  }
  std::copy(stored.begin(), stored.end(), header.begin() + kPasswordAt);
  ToggleMask(header, masked);
}

Page HeaderPage(const std::string& password) {
  Page page(kPageSize, 0);
  page[1] = 0x01;
  const std::string signature = "Standard Jet DB";
  std::copy(signature.begin(), signature.end(), page.begin() + 4);
  page[0x14] = 0x01;  // Jet 4
  const uint8_t constant[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
  std::copy(std::begin(constant), std::end(constant), page.begin() + 0x18);
  PutU16(page, 0x3c, 1252);  // code page
  // 0x3E database key 0 (not encrypted). Without a password, creation date
  // 0.0 at 0x72, so the password area's mask is zero and zero bytes mean
  // "no password".
  PutU16(page, 0x6e, 0x0409);  // "General" sort order
  if (!password.empty()) std::memcpy(&page[kCreationDateAt], &kCreationDate, sizeof kCreationDate);
  ToggleMask(page, kMaskedLength);
  if (!password.empty()) SetDatabasePassword(page, password);
  return page;
}

Page GlobalUsagePage(uint32_t page_count) {
  DataPage page(1);
  std::vector<uint8_t> map(kUsageMapRowSize, 0xff);
  map[0] = 0;
  PutU32(map, 1, 0);
  // A set bit marks a free page here.
  for (uint32_t p = 0; p < page_count && p < (kUsageMapRowSize - 5) * 8; ++p) map[5 + p / 8] &= static_cast<uint8_t>(~(1u << (p % 8)));
  page.Add(map);
  page.Add(std::vector<uint8_t>(kUsageMapRowSize, 0));
  return page.bytes();
}

}  // namespace tabulor::mkmdb
