#pragma once
// One column of a table's current row, read in the type the caller asks for.
// A text read as a date or a number is converted with the process-wide
// formats (formats.h); a text that does not convert throws AccessError.
#include <cstdint>
#include <string>

#include "db/access/table_data.h"
#include "db/common/datetime.h"

namespace tabulor::db::access {

class Table;

class Field {
 public:
  Field(const Table& table, int column) : table_(&table), column_(column) {}

  const ColumnInfo& Info() const;
  const Cell& Value() const;
  bool IsNull() const { return Value().IsNull(); }

  // Null reads as the empty text; a date-time as its text in the current formats.
  std::string AsString() const;
  // Null: no date part. A stored date that is not a number or lies outside
  // the years 100 to 9999 throws AccessError (here and in AsString).
  DateTime AsDateTime() const;
  double AsFloat() const;       // null: 0
  int32_t AsInteger() const;    // null: 0

 private:
  const Table* table_;
  int column_;
};

}  // namespace tabulor::db::access
