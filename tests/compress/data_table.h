#pragma once
// Data.DB tables for the compression tests: made row by row with chosen
// sizes and flags, read back whole, and checked against what a run must leave.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::compress::testing {

// A fresh directory under the temporary directory, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return path_; }
  std::string Dir() const { return path_.string() + "/"; }  // with its separator, as ProgramDir

 private:
  std::filesystem::path path_;
};

struct NewRow {
  int images = 0;
  int dim = 0;
  std::optional<int> zipped = 0;  // nullopt: left null
  db::Blob data;
};

// Realistic raw acquisition bytes of `images` × `dim`, varying with `seed`.
db::Blob Acquisition(int images, int dim, uint64_t seed);
// What a compressed row holds for `raw`.
db::Blob Deflated(const db::Blob& raw);
// Inflates one zlib stream that must fill `stored` exactly; nullopt otherwise.
std::optional<db::Blob> InflateWhole(const db::Blob& stored);

// Creates Data.DB at schema version `version` (× 100) in `dir` and appends the rows.
// Returns their acquisition numbers.
std::vector<int64_t> CreateDataTable(db::Session& session, const std::string& dir, const std::vector<NewRow>& rows,
                                     int version = 280);

struct RowState {
  std::optional<int64_t> zipped;  // nullopt: null
  db::Blob data;
  std::vector<std::string> other_fields;  // every other field as text, in table order
  int64_t images = 0, dim = 0;
};
using TableState = std::map<int64_t, RowState>;  // by ID_Acq

TableState ReadDataTable(db::Session& session, const std::string& dir);

// Rows a run with this threshold (already × 100) must take.
bool Taken(const RowState& row, int64_t threshold);

// Checks `after` against `before` for a run (or part of one) with `threshold`:
// every row left as it was, or, when it was taken, compressed into a stream
// that inflates to its raw bytes; with `complete`, every taken row with a
// non-empty blob compressed. Returns the problems, one a line.
std::vector<std::string> CheckRun(const TableState& before, const TableState& after, int64_t threshold,
                                  bool complete);

}  // namespace tabulor::compress::testing
