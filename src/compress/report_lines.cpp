#include "compress/report_lines.h"

#include <stdexcept>

namespace tabulor::compress {

int ReportLines::Put(int number, const std::string& text) {
  if (number < 1) throw std::out_of_range("report lines are numbered from 1");
  const size_t index = static_cast<size_t>(number - 1);
  if (index < lines_.size()) {
    lines_[index] = text;
    return 0;
  }
  const int added = static_cast<int>(index + 1 - lines_.size());
  lines_.resize(index);
  lines_.push_back(text);
  return added;
}

}  // namespace tabulor::compress
