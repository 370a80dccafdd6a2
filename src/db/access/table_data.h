#pragma once
// A table as read from an .mdb file: its columns and every row, with values
// decoded exactly (no truncation, no locale).
#include <cstdint>
#include <string>
#include <vector>

namespace tabulor::db::access {

// Jet column type codes, as stored in the table definition.
enum class ColumnType : uint8_t {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLongInteger = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kOle = 11,
  kMemo = 12,
  kGuid = 15,
  kNumeric = 16,
  kComplex = 18,
};

const char* ColumnTypeName(ColumnType type);

struct ColumnInfo {
  std::string name;
  ColumnType type = ColumnType::kText;
  int size = 0;  // bytes, as the table definition gives it
  bool auto_increment = false;
};

struct Cell {
  enum class Kind : uint8_t { kNull, kText, kInteger, kFloat, kDateTime, kBoolean, kBytes };
  Kind kind = Kind::kNull;
  std::string text;     // kText (UTF-8) and kBytes
  int64_t integer = 0;  // kInteger, kBoolean (0 / 1)
  double number = 0;    // kFloat; kDateTime as the stored OLE date

  bool IsNull() const { return kind == Kind::kNull; }
  bool operator==(const Cell&) const = default;
};

struct TableData {
  std::string name;
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Cell>> rows;

  // Position of a column by name, compared without regard to case; -1 if absent.
  int ColumnIndex(const std::string& column) const;
};

// What a read of a database file gives back: the user tables it holds, and
// the requested table when one was asked for.
struct FileContents {
  std::vector<std::string> table_names;
  TableData table;
};

}  // namespace tabulor::db::access
