#pragma once
// Conversions of field values between the kinds a caller reads and writes
// (text, integer, float, date-time, Boolean, bytes) and the kind each field type holds.
#include <string>

#include "db/paradox/types.h"

namespace tabulor::db::values {

// The value as the field type holds it: A M F -> text, S I + -> integer,
// N $ -> float, D T @ -> date-time, L -> Boolean, # -> decimal text,
// Y B O G -> bytes. Throws std::invalid_argument when it cannot be converted.
Value ToFieldKind(FieldType type, int decimals, const Value& v);

// Orders two values of one kind; a null comes first.
int Compare(const Value& a, const Value& b, bool case_insensitive);

// Text forms: dates "YYYY-MM-DD", times "HH:MM:SS", timestamps
// "YYYY-MM-DD HH:MM:SS", Booleans "True"/"False", numbers in C locale.
std::string ToText(const Value& v, FieldType type);
int64_t ToInteger(const Value& v);
double ToFloat(const Value& v);
bool ToBoolean(const Value& v);
DateTime ToDateTime(const Value& v);

// Parses "YYYY-MM-DD[ HH:MM[:SS[.mmm]]]" (or 'T' before the time), "DD/MM/YYYY", "DD/MM/YY" (1950..2049),
// "DD.MM.YYYY" and "HH:MM[:SS[.mmm]]": the shared reader with kEngineDateText.
DateTime ParseDateTime(const std::string& text);

}  // namespace tabulor::db::values
