#pragma once
// Writes small Jet 4 (.mdb) databases: test fixtures, since nothing else on
// this system writes the format. Tables hold text, memo, date-time, integer,
// long integer, double and autonumber columns; no indexes, no relationships.
// The files open in mdbtools and in other independent readers.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "db/common/datetime.h"

namespace tabulor::mkmdb {

// kOle columns take only NULL values (the catalog has one).
enum class Jet4Type { kInteger, kLong, kAutoIncrement, kDouble, kDateTime, kText, kMemo, kOle };

struct Jet4Column {
  std::string name;
  Jet4Type type = Jet4Type::kText;
  int max_chars = 255;  // text columns
};

// monostate is NULL. Text and memo take UTF-8 strings; integer columns
// int32_t; double columns double; date-time columns DateTime. A NULL in an
// autonumber column receives the next number.
using Jet4Value = std::variant<std::monostate, std::string, int32_t, double, db::DateTime>;

struct Jet4Table {
  std::string name;
  std::vector<Jet4Column> columns;
  std::vector<std::vector<Jet4Value>> rows;
};

// The bytes of a database holding `tables`, protected by `password` unless
// it is empty. Throws std::invalid_argument for values that do not fit their
// column, a table too large for the layout or a password too long.
std::string BuildJet4Database(const std::vector<Jet4Table>& tables, const std::string& password = "");
// Writes it to `path`; throws std::runtime_error when the file cannot be written.
void WriteJet4Database(const std::string& path, const std::vector<Jet4Table>& tables, const std::string& password = "");

}  // namespace tabulor::mkmdb
