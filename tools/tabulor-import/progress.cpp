#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace tabulor::import_tool {

void StderrProgress::Start(int64_t total, std::string what) {
  what_ = std::move(what);
  total_ = total;
  last_tenth_ = -1;
  terminal_ = ::isatty(STDERR_FILENO) == 1;
  started_ = true;
  Print(0);
}

void StderrProgress::Move(int64_t position) {
  if (!started_) return;
  if (terminal_) {
    const auto now = std::chrono::steady_clock::now();
    if (position < total_ && now - last_print_ < std::chrono::milliseconds(200)) return;
    last_print_ = now;
    Print(position);
    return;
  }
  const int64_t tenth = total_ > 0 ? position * 10 / total_ : 10;
  if (tenth != last_tenth_) Print(position);
}

void StderrProgress::Finish() {
  if (started_ && terminal_) std::fputc('\n', stderr);
  started_ = false;
}

void StderrProgress::ReportLine(const std::string& text) {
  Finish();
  std::string line = text;
  for (char& c : line)
    if (c == '\r') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
}

void StderrProgress::Print(int64_t position) {
  last_tenth_ = total_ > 0 ? position * 10 / total_ : 10;
  std::fprintf(stderr, terminal_ ? "\r%s : %lld / %lld" : "%s : %lld / %lld\n", what_.c_str(),
               static_cast<long long>(position), static_cast<long long>(total_));
  std::fflush(stderr);
}

void PrintCounter(const std::string& label, int64_t value) {
  std::printf("%s: %lld\n", label.c_str(), static_cast<long long>(value));
}

}  // namespace tabulor::import_tool
