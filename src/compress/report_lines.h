#pragma once
// The lines of the compression report: a line is written at a given number
// (from 1), replacing the text of that line when the report has it already and
// extending the report otherwise, with empty lines in between when needed.
#include <string>
#include <vector>

namespace tabulor::compress {

class ReportLines {
 public:
  // Returns how many lines were added (0 when an existing line was replaced).
  int Put(int number, const std::string& text);
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace tabulor::compress
