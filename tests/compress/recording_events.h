#pragma once
// Records what a run tells, the way the form would show it.
#include <functional>
#include <string>
#include <vector>

#include "compress/compress_events.h"
#include "compress/report_lines.h"

namespace tabulor::compress::testing {

struct RecordingEvents : CompressEvents {
  ReportLines report;
  std::vector<std::string> acquisitions;
  std::vector<std::string> messages;
  int64_t progress_max = -1, progress = -1;
  int finished = 0;
  std::function<void()> on_pending_events;

  void ReportLine(int number, const std::string& text) override { report.Put(number, text); }
  void CurrentAcquisition(const std::string& id) override { acquisitions.push_back(id); }
  void ProgressStarted(int64_t rows) override { progress_max = rows, progress = 0; }
  void ProgressMoved(int64_t position) override { progress = position; }
  void Finished() override { ++finished; }
  void ProcessPendingEvents() override {
    if (on_pending_events) on_pending_events();
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
};

}  // namespace tabulor::compress::testing
