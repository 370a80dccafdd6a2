#pragma once
// Building blocks of Jet 4 pages: little-endian bytes, text encoding, data
// pages filled with rows from the end, and the masked header page.
#include <cstdint>
#include <string>
#include <vector>

namespace tabulor::mkmdb {

constexpr size_t kPageSize = 4096;
constexpr size_t kDataPageHeader = 14;
constexpr size_t kMaxRowsPerPage = 255;
constexpr size_t kUsageMapRowSize = 69;  // type byte, start page, 64-byte bitmap

using Page = std::vector<uint8_t>;

void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t v);
void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v);
void AppendU16(std::vector<uint8_t>& out, uint16_t v);
void AppendU32(std::vector<uint8_t>& out, uint32_t v);
void AppendBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes);

// UTF-8 to UTF-16LE (surrogate pairs above U+FFFF). Throws std::invalid_argument on invalid UTF-8.
std::vector<uint8_t> Ucs2(const std::string& utf8);

// A data page (or long-value page) whose rows are packed from its end.
class DataPage {
 public:
  // `owner` is the table definition page, or the "LVAL" tag for long values.
  explicit DataPage(uint32_t owner);
  bool Fits(size_t row_size) const;
  int Add(const std::vector<uint8_t>& row);  // returns the row number
  size_t row_count() const { return rows_; }
  const Page& bytes() const { return page_; }

 private:
  Page page_;
  size_t rows_ = 0;
  size_t free_end_ = kPageSize;
};

constexpr uint32_t kLongValueOwner = 0x4c41564c;  // "LVAL"

// A type-0 usage map row listing `pages` (all within 512 pages of the first).
std::vector<uint8_t> UsageMapRow(const std::vector<uint32_t>& pages);

// Page 0: the database header, with its masked region; with a password, a
// creation date too, as the password's mask derives from it.
Page HeaderPage(const std::string& password = "");
// Sets the database password of a header page of either version (Jet 3: up
// to 20 ASCII characters; Jet 4: up to 20 UCS-2 units, masked with the
// creation date). Throws std::invalid_argument for a password that does not fit.
void SetDatabasePassword(Page& header, const std::string& password);
// Page 1: the global map of pages in use.
Page GlobalUsagePage(uint32_t page_count);

}  // namespace tabulor::mkmdb
