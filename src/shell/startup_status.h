#pragma once
// What start-up learned that decides how the process ends: a termination
// request (the program ends as soon as its message loop starts, without
// showing its window) and whether something failed on the way.

namespace tabulor::shell {

class StartupStatus {
 public:
  void RequestTermination() { termination_requested_ = true; }
  bool TerminationRequested() const { return termination_requested_; }

  // A reported failure of start-up: a missing alias, a switch that failed.
  void RecordFailure() { failed_ = true; }
  bool Failed() const { return failed_; }

  // 0 only when nothing failed.
  int ExitCode() const { return failed_ ? 1 : 0; }

 private:
  bool termination_requested_ = false;
  bool failed_ = false;
};

}  // namespace tabulor::shell
