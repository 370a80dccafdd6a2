#pragma once
// What an Access import run tells while it works: the wizard shows it, the
// headless command prints it, tests record it.
#include <cstdint>
#include <string>

namespace tabulor::access_import {

enum class Counter { kPatients, kExistingPatients, kMeasurements, kExercises, kNorms, kTypes };

class AccessImportEvents {
 public:
  virtual ~AccessImportEvents() = default;
  // One event line of the report (already written to the log).
  virtual void ReportLine(const std::string& text) {}
  // A counter changed; counts never wrap.
  virtual void CounterChanged(Counter counter, int64_t value) {}
  virtual void ProgressStarted(int64_t patients) {}
  virtual void ProgressMoved(int64_t position) {}
  // Lets pending window messages through (once a patient).
  virtual void ProcessPendingEvents() {}
};

}  // namespace tabulor::access_import
