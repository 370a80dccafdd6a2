#pragma once
// The size threshold typed in kilobytes-ish units ("200"): a row is taken when
// NbImages × DimImage is strictly above the typed integer times 100.
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace tabulor::compress {

struct ThresholdError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A 32-bit integer, with an optional sign and blanks around it, times 100.
// Anything else throws ThresholdError naming the text.
int64_t ParseThreshold(std::string_view text);

}  // namespace tabulor::compress
