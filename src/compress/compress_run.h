#pragma once
// The compression of the raw acquisitions of Data.DB: every row whose
// NbImages × DimImage is above the threshold and whose Zipped reads "0" gets
// its blob replaced by one zlib stream (see blob_deflate.h) and Zipped 1.
//
// The rows are examined in table order on the calling thread; the blobs of the
// rows taken are deflated on a pool of threads meanwhile, and handed back,
// written, reported and logged in table order, so that the report, the log and
// the table come out as from a row-by-row run. At most a few blobs are in
// flight at a time, whatever the size of the table.
#include <cstdint>
#include <string>
#include <string_view>

#include "compress/compress_events.h"
#include "compress/row_writer.h"
#include "db/paradox/engine.h"
#include "shell/log_file.h"

namespace tabulor::compress {

// The engine alias the run opens Data.DB through, whatever alias the configuration names.
inline constexpr std::string_view kDataAlias = "KORVANE";
inline constexpr std::string_view kDataTable = "data.db";
// The threshold of a new form, and of the unattended run.
inline constexpr std::string_view kDefaultThresholdText = "200";

struct RunOptions {
  int workers = 0;                        // deflating threads; 0: one a core
  int max_blobs_in_flight = 0;            // 0: two a worker, and two more
  uint64_t max_bytes_in_flight = 64u << 20;  // raw bytes read but not yet written back (one blob always fits)
  CommitPolicy commit;
};

struct RunSummary {
  int64_t rows = 0;        // rows examined
  int64_t compressed = 0;  // rows written back with Zipped 1
  int64_t empty_blobs = 0;
  int64_t empty_results = 0;
  uint64_t raw_bytes = 0;     // of the compressed rows, before
  uint64_t stored_bytes = 0;  // and after
};

class CompressRun {
 public:
  // `log` (COMPRESS.log, may be null) and `events` must outlive the run.
  CompressRun(db::Session& session, shell::LogFile* log, CompressEvents& events, RunOptions options = {});

  // One run with the threshold as typed. Returns false, doing nothing, when a
  // run of this object is already under way (a click let through by the
  // event processing of a run). Engine, zlib and log errors stop the run and
  // are thrown; rows written back before the error stay compressed on disk.
  bool Kompress(std::string_view threshold_text);

  bool Running() const { return running_; }
  // The acquisition number last handled, kept from one run to the next ("" before the first).
  const std::string& IdAcq() const { return id_acq_; }
  const RunSummary& Summary() const { return summary_; }

 private:
  void Run(std::string_view threshold_text);
  void Tell(int line, const std::string& text);
  void TellRow(const std::string& text);

  db::Session& session_;
  shell::LogFile* log_;
  CompressEvents& events_;
  RunOptions options_;
  bool running_ = false;
  std::string id_acq_;
  int next_line_ = 3;
  RunSummary summary_;
};

}  // namespace tabulor::compress
