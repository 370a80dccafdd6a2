#pragma once
// What a run of the database import tells while it works: the wizard shows it,
// the headless command prints it, tests record it.
#include <cstdint>
#include <string>

namespace tabulor::paradox_import {

// The run's counters, in the order of the report's lines.
enum class Counter {
  kPatientsAdded,
  kPatientsExisting,
  kExamsAdded,
  kMeasuresAdded,
  kPrescribersAdded,
  kUsersAdded,
  kProfessionsAdded,
  kPathologiesAdded,
  kProtocolsAdded,
  kNormsAdded,
  kExercisesAdded,
};
inline constexpr int kCounterCount = 11;

class ImportEvents {
 public:
  virtual ~ImportEvents() = default;
  // One event line of the report (already written to the log).
  virtual void ReportLine(const std::string& text) {}
  // A counter changed; counts never wrap.
  virtual void CounterChanged(Counter counter, int64_t value) {}
  virtual void ProgressStarted(int64_t patients) {}
  virtual void ProgressMoved(int64_t position) {}
  // Lets pending window messages through (once a patient).
  virtual void ProcessPendingEvents() {}
};

}  // namespace tabulor::paradox_import
