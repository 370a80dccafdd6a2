#pragma once
// Progress of a headless import on standard error: rewritten in place on a
// terminal, a line every tenth of the way otherwise (a log or a pipe).
#include <chrono>
#include <cstdint>
#include <string>

namespace tabulor::import_tool {

class StderrProgress {
 public:
  // `what` names the unit counted ("patients").
  void Start(int64_t total, std::string what);
  void Move(int64_t position);
  // Ends the in-place line.
  void Finish();
  // One event line of the report on standard error, after ending the progress line;
  // its carriage returns (between an error's heading and its message) become blanks.
  void ReportLine(const std::string& text);

 private:
  void Print(int64_t position);
  std::string what_;
  int64_t total_ = 0;
  int64_t last_tenth_ = -1;
  bool terminal_ = false;
  bool started_ = false;
  std::chrono::steady_clock::time_point last_print_{};
};

// Counters at the end of a run, one "label: value" line each, on standard output.
void PrintCounter(const std::string& label, int64_t value);

}  // namespace tabulor::import_tool
