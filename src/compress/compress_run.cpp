#include "compress/compress_run.h"

#include <unistd.h>

#include <chrono>
#include <deque>
#include <future>

#include "compress/deflate_pool.h"
#include "compress/threshold.h"
#include "shell/event_line.h"
#include "shell/msg.h"

namespace tabulor::compress {
namespace {

// Rows examined ahead of the oldest one still being deflated, at most.
constexpr size_t kMaxRowsAhead = 4096;

// What became of one examined row, waiting for its turn in table order.
struct ExaminedRow {
  enum class Kind { kLeft, kEmptyBlob, kDeflating };
  int64_t index = 0;
  std::string id_acq;
  Kind kind = Kind::kLeft;
  uint64_t raw_size = 0;
  std::future<db::Blob> stored;
};

// The engine opens a table for writing only when its file and directory are;
// otherwise the table is opened read-only and the first change fails.
bool CanModify(const db::Table& table) {
  return ::access(table.Path().c_str(), W_OK) == 0 && ::access(table.Directory().c_str(), W_OK) == 0;
}

}  // namespace

CompressRun::CompressRun(db::Session& session, shell::LogFile* log, CompressEvents& events, RunOptions options)
    : session_(session), log_(log), events_(events), options_(options) {}

bool CompressRun::Kompress(std::string_view threshold_text) {
  if (running_) return false;
  running_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{running_};
  Run(threshold_text);
  return true;
}

void CompressRun::Tell(int line, const std::string& text) {
  events_.ReportLine(line, text);
  if (log_) log_->WriteLine(shell::EventLogLine(db::DateTime::Now(), text));
}

void CompressRun::TellRow(const std::string& text) { Tell(next_line_++, text); }

void CompressRun::Run(std::string_view threshold_text) {
  namespace msg = shell::msg;
  summary_ = {};
  db::Table reader(session_, std::string(kDataAlias), std::string(kDataTable));
  const bool can_modify = CanModify(reader);
  reader.SetReadOnly(!can_modify);
  reader.Open();

  Tell(1, can_modify ? id_acq_ + msg::EmptyBlob() : std::string("CanModify = False"));
  events_.ProcessPendingEvents();
  next_line_ = 3;

  db::Field* zipped = reader.FindField("zipped");
  if (!zipped) {
    events_.ShowMessage(msg::ZippedFieldMissing());
    return;
  }
  db::Field& id = reader.FieldByName("ID_Acq");
  db::Field& images = reader.FieldByName("NbImages");
  db::Field& dimension = reader.FieldByName("DimImage");
  db::Field& data = reader.FieldByName("Data");
  const int64_t threshold = ParseThreshold(threshold_text);
  events_.ProgressStarted(reader.RecordCount());

  DeflatePool pool(options_.workers);
  const size_t max_jobs = options_.max_blobs_in_flight > 0 ? static_cast<size_t>(options_.max_blobs_in_flight)
                                                           : static_cast<size_t>(2 * pool.Workers() + 2);
  RowWriter writer(session_, std::string(kDataAlias), std::string(kDataTable), !can_modify, options_.commit);
  std::deque<ExaminedRow> waiting;
  size_t jobs = 0;
  uint64_t raw_in_flight = 0;
  int64_t position = 0;

  // The oldest examined row, handled as a row-by-row run would have.
  auto finish_oldest = [&] {
    ExaminedRow& row = waiting.front();
    id_acq_ = row.id_acq;
    events_.CurrentAcquisition(id_acq_);
    if (row.kind == ExaminedRow::Kind::kEmptyBlob) {
      ++summary_.empty_blobs;
      TellRow("*" + id_acq_ + msg::EmptyBlob());
    } else if (row.kind == ExaminedRow::Kind::kDeflating) {
      const db::Blob stored = row.stored.get();
      --jobs;
      raw_in_flight -= row.raw_size;
      if (stored.empty()) {
        ++summary_.empty_results;
        TellRow("*" + id_acq_ + msg::ZipSizeZero());
      } else {
        writer.Store(row.index, id_acq_, stored);
        ++summary_.compressed;
        summary_.raw_bytes += row.raw_size;
        summary_.stored_bytes += stored.size();
      }
    }
    waiting.pop_front();
    events_.ProgressMoved(++position);
  };
  auto window_full = [&] {
    return jobs >= max_jobs || raw_in_flight >= options_.max_bytes_in_flight || waiting.size() >= kMaxRowsAhead;
  };
  auto oldest_ready = [&] {
    const ExaminedRow& row = waiting.front();
    return row.kind != ExaminedRow::Kind::kDeflating ||
           row.stored.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  };

  for (int64_t index = 0; !reader.Eof(); reader.Next(), ++index) {
    events_.ProcessPendingEvents();
    ExaminedRow row;
    row.index = index;
    row.id_acq = id.AsString();
    ++summary_.rows;
    if (images.AsInteger() * dimension.AsInteger() > threshold && zipped->AsString() == "0") {
      db::Blob raw = data.AsBlob();
      if (raw.empty()) {
        row.kind = ExaminedRow::Kind::kEmptyBlob;
      } else {
        row.kind = ExaminedRow::Kind::kDeflating;
        row.raw_size = raw.size();
        raw_in_flight += raw.size();
        ++jobs;
        row.stored = pool.Submit(std::move(raw));
      }
    }
    waiting.push_back(std::move(row));
    while (!waiting.empty() && (window_full() || oldest_ready())) finish_oldest();
  }
  while (!waiting.empty()) finish_oldest();
  writer.Flush();
  reader.Close();
  events_.Finished();
}

}  // namespace tabulor::compress
