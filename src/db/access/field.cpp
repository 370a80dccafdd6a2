#include "db/access/field.h"

#include <cmath>

#include "db/access/error.h"
#include "db/access/formats.h"
#include "db/access/table.h"

namespace tabulor::db::access {
namespace {

bool IsTextual(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kMemo || type == ColumnType::kGuid;
}

int32_t RoundToInt32(double value, const std::string& column) {
  const double rounded = std::nearbyint(value);  // halves to even
  if (!(rounded >= INT32_MIN && rounded <= INT32_MAX))
    throw AccessError("la valeur du champ '" + column + "' est hors des limites d'un entier");
  return static_cast<int32_t>(rounded);
}

// A stored date-time that is not a number or lies outside the years 100 to
// 9999 (Access's range) is damage, never a date.
DateTime StoredDate(double value, const std::string& column) {
  constexpr double kFirst = -657435;  // exclusive: 0100-01-01 is -657434, its time counting away from zero
  constexpr double kEnd = 2958466;    // exclusive: the day after 9999-12-31
  if (!(value > kFirst && value < kEnd))
    throw AccessError("la date enregistrée dans le champ '" + column + "' est invalide (" + std::to_string(value) + ")");
  return DateTime::FromOleDate(value);
}

}  // namespace

const ColumnInfo& Field::Info() const { return table_->Columns()[column_]; }

const Cell& Field::Value() const { return table_->CurrentCell(column_); }

std::string Field::AsString() const {
  const Cell& cell = Value();
  switch (cell.kind) {
    case Cell::Kind::kNull: return {};
    case Cell::Kind::kText:
    case Cell::Kind::kBytes: return cell.text;
    case Cell::Kind::kInteger: return std::to_string(cell.integer);
    case Cell::Kind::kBoolean: return cell.integer ? "True" : "False";
    case Cell::Kind::kFloat: return FloatToText(cell.number, CurrentAccessFormats());
    case Cell::Kind::kDateTime: return DateTimeToText(StoredDate(cell.number, Info().name), CurrentAccessFormats());
  }
  return {};
}

DateTime Field::AsDateTime() const {
  const Cell& cell = Value();
  if (IsTextual(Info().type)) return TextToDateTime(AsString(), CurrentAccessFormats());
  switch (cell.kind) {
    case Cell::Kind::kNull: return {};
    case Cell::Kind::kDateTime: return StoredDate(cell.number, Info().name);
    case Cell::Kind::kFloat: return DateTime::FromOleDate(cell.number);
    default: throw AccessError("le champ '" + Info().name + "' ne peut pas être lu comme une date");
  }
}

double Field::AsFloat() const {
  const Cell& cell = Value();
  if (IsTextual(Info().type)) return TextToFloat(AsString(), CurrentAccessFormats());
  switch (cell.kind) {
    case Cell::Kind::kNull: return 0;
    case Cell::Kind::kInteger:
    case Cell::Kind::kBoolean: return static_cast<double>(cell.integer);
    case Cell::Kind::kFloat:
    case Cell::Kind::kDateTime: return cell.number;
    default: throw AccessError("le champ '" + Info().name + "' ne peut pas être lu comme un nombre");
  }
}

int32_t Field::AsInteger() const {
  const Cell& cell = Value();
  if (IsTextual(Info().type)) return TextToInteger(AsString());
  switch (cell.kind) {
    case Cell::Kind::kNull: return 0;
    case Cell::Kind::kInteger:
    case Cell::Kind::kBoolean:
      if (cell.integer < INT32_MIN || cell.integer > INT32_MAX)
        throw AccessError("la valeur du champ '" + Info().name + "' est hors des limites d'un entier");
      return static_cast<int32_t>(cell.integer);
    case Cell::Kind::kFloat: return RoundToInt32(cell.number, Info().name);
    default: throw AccessError("le champ '" + Info().name + "' ne peut pas être lu comme un entier");
  }
}

}  // namespace tabulor::db::access
