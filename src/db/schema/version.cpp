#include "db/schema/version.h"

#include <algorithm>
#include <charconv>

namespace tabulor::schema {

bool IsKnownVersion(int version) {
  return std::find(kKnownVersions.begin(), kKnownVersions.end(), version) != kKnownVersions.end();
}

std::optional<int> ParseVersion(std::string_view text) {
  const size_t sep = text.find_first_of(".,");
  const std::string_view whole = text.substr(0, sep);
  const std::string_view decimals = sep == std::string_view::npos ? std::string_view{} : text.substr(sep + 1);
  if (whole.empty() || whole.size() > 2 || decimals.size() > 2 ||
      (sep != std::string_view::npos && decimals.empty()))
    return std::nullopt;
  for (char c : whole)
    if (c < '0' || c > '9') return std::nullopt;
  int units = 0;
  auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), units);
  if (ec != std::errc{} || end != whole.data() + whole.size()) return std::nullopt;
  int hundredths = 0;
  for (size_t i = 0; i < 2; ++i) {
    hundredths *= 10;
    if (i < decimals.size()) {
      if (decimals[i] < '0' || decimals[i] > '9') return std::nullopt;
      hundredths += decimals[i] - '0';
    }
  }
  return units * 100 + hundredths;
}

std::string FormatVersion(int version) {
  std::string text = std::to_string(version / 100);
  const int hundredths = version % 100;
  if (hundredths != 0) {
    text += '.';
    text += static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
  }
  return text;
}

double VersionNumber(int version) { return version / 100.0; }

}  // namespace tabulor::schema
