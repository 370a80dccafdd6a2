#include "compress/threshold.h"

#include <QtGlobal>
#include <charconv>
#include <string>

#include "shell/msg.h"

namespace tabulor::compress {

int64_t ParseThreshold(std::string_view text) {
  std::string_view digits = text;
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t')) digits.remove_prefix(1);
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) digits.remove_suffix(1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    throw ThresholdError(shell::msg::Format(
        shell::msg::Tr("Compress", QT_TRANSLATE_NOOP("Compress", "La taille min de compression « %s » n'est pas un "
                                                                 "nombre entier : aucune ligne n'a été modifiée.")),
        {text}));
  return int64_t{value} * 100;
}

}  // namespace tabulor::compress
