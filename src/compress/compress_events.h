#pragma once
// What a compression run tells while it works. The form shows it, the
// unattended run mostly ignores it, tests record it: the same run drives all three.
#include <cstdint>
#include <string>

namespace tabulor::compress {

class CompressEvents {
 public:
  virtual ~CompressEvents() = default;
  // Report line `number` (from 1) := text (see ReportLines).
  virtual void ReportLine(int number, const std::string& text) {}
  // The acquisition number of the row being handled, as decimal text.
  virtual void CurrentAcquisition(const std::string& id_acq) {}
  // The rows are about to be walked: `rows` is the table's row count.
  virtual void ProgressStarted(int64_t rows) {}
  virtual void ProgressMoved(int64_t position) {}
  // Every row has been handled and the table is closed.
  virtual void Finished() {}
  // Lets pending window messages through (once a row).
  virtual void ProcessPendingEvents() {}
  // A plain message (the missing Zipped field).
  virtual void ShowMessage(const std::string& text) {}
};

}  // namespace tabulor::compress
