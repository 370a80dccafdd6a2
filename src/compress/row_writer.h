#pragma once
// Writes compressed blobs back into Data.DB through a cursor of its own that
// follows the reading cursor down the table, and commits them in groups: the
// engine's flush is atomic, so a row is either still raw or fully compressed
// on disk, whatever moment the process dies, while grouping spares a journal
// commit a row.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "db/paradox/engine.h"

namespace tabulor::compress {

struct CommitPolicy {
  // A commit costs a handful of syncs whatever its size: groups are large, yet
  // small enough that a crash loses only seconds of work and memory stays low.
  int rows = 256;                            // posted rows that make a commit
  uint64_t bytes = 32u << 20;                // or stored bytes
  std::chrono::milliseconds interval{5000};  // or time since the first row of the group
};

class RowWriter {
 public:
  RowWriter(db::Session& session, std::string alias, std::string table_name, bool read_only, CommitPolicy policy);
  // Commits what was posted (best effort when the table is being abandoned).
  ~RowWriter();
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // Replaces the blob of row `index` (from 0, in table order; never before a
  // row already written), which must be acquisition `id_acq`, by `stored`, and
  // marks it compressed.
  void Store(int64_t index, std::string_view id_acq, const db::Blob& stored);
  // Commits every posted row to disk.
  void Flush();

 private:
  void MoveTo(int64_t index, std::string_view id_acq);

  db::Table table_;
  CommitPolicy policy_;
  bool opened_ = false;
  int64_t at_ = 0;
  db::Field* id_ = nullptr;
  db::Field* data_ = nullptr;
  db::Field* zipped_ = nullptr;
  int pending_rows_ = 0;
  uint64_t pending_bytes_ = 0;
  std::chrono::steady_clock::time_point group_started_;
};

}  // namespace tabulor::compress
