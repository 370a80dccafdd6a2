#pragma once
// How a number is written with 15 significant digits and no trailing zeros:
// the one writer behind the locale's number texts (text_formats.h) and the
// engine's own, which are in the C notation whatever the process's locale.
#include <string>

namespace tabulor::db {

struct NumberNotation {
  char decimal_separator = ',';
  // The exponent form from 10^exponent_from and below 10^exponent_below.
  int exponent_from = 15;
  int exponent_below = -5;
  // printf's "%.15g" of the C locale: "1e-05", "1e+15", "-0", "nan", "inf";
  // otherwise "1E-5", "1E15", "0", "NAN", "INF".
  bool c_notation = false;
};

// The engine's number texts: "%.15g" in the C locale.
inline constexpr NumberNotation kCNumberNotation{'.', 15, -4, true};

std::string FormatNumber(double value, const NumberNotation& notation);

}  // namespace tabulor::db
