#pragma once
// The run of the Access import: every patient of a Balantis database into the
// practice database, and in the full mode each patient's sequences (an
// examination, an acquisition and a measurement each), the types and norms
// they use, and its exercises.
//
// The whole run is one unit of work on the practice database: a kill leaves
// the practice as before the run or with all of it. A run that stops on an
// error outside the record steps keeps (commits) what it stored, then throws.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "access_import/access_import_events.h"
#include "access_import/balantis_source.h"
#include "db/paradox/engine.h"
#include "shell/event_line.h"
#include "shell/log_file.h"

namespace tabulor::access_import {

struct RunOptions {
  bool full_import = false;     // AccessFullImport
  int32_t user_key = 0;         // PK_USE written into FK_USE
  int flush_every_patients = 500;  // bounds the memory the unit holds
};

class AccessImportRun {
 public:
  // `source` open; `log` (IMPORT.log, may be null) and `events` outlive the run.
  AccessImportRun(db::Session& session, std::string database, BalantisSource& source, shell::LogFile* log,
                  AccessImportEvents& events, RunOptions options);
  ~AccessImportRun();

  // Throws on an error outside the record steps, after committing what was stored.
  void Run();

  int64_t Count(Counter counter) const { return counts_[static_cast<size_t>(counter)]; }

 private:
  struct CurrentPatient;
  struct PracticeTables;
  void Walk();
  void PatientStep(CurrentPatient& patient);
  std::optional<int64_t> ExaminationStep(const CurrentPatient& patient);
  std::optional<int64_t> PracticeTypeNorm();
  void TypeStep();
  void MeasurementStep(const CurrentPatient& patient, std::optional<int64_t> examination,
                       std::optional<int64_t> norm);
  void ExerciseStep(const CurrentPatient& patient);
  void SkipDetails(const std::string& last_name);
  void Increment(Counter counter);
  void FlushAll();

  db::Session& session_;
  std::string database_;
  BalantisSource& source_;
  AccessImportEvents& events_;
  shell::EventReporter reporter_;
  RunOptions options_;
  std::unique_ptr<PracticeTables> tables_;
  std::array<int64_t, 6> counts_{};
};

}  // namespace tabulor::access_import
