// Structural checks of a table family, for `tabulor-db verify` and the tests.
#include <cstring>
#include <optional>

#include "db/paradox/format/field_codec.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

std::vector<std::string> TableFamily::Verify() {
  constexpr size_t kMaxProblems = 100;
  std::vector<std::string> problems = load_problems_;
  auto report = [&](const std::string& p) {
    if (problems.size() < kMaxProblems) problems.push_back(p);
  };
  if (BlockCount() + static_cast<int>(free_blocks_.size()) > header_.file_blocks)
    report("the chain and the free list hold more blocks than the file has");

  RowPos p;
  int64_t row = 0;
  RowBytes previous;  // keeps its block while the next is read
  // Each row's blob references with their place, sorted after the walk: a
  // reference met twice is a blob two rows share.
  struct BlobRef {
    uint32_t offset_index;
    uint32_t row;
    uint32_t field;
  };
  index::RecordSorter blob_refs(
      sizeof(BlobRef),
      [](const uint8_t* a, const uint8_t* b) {
        BlobRef x, y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        return x.offset_index < y.offset_index ? -1 : x.offset_index > y.offset_index ? 1 : 0;
      },
      index::SortBudget());
  for (bool ok = First(p); ok; ok = Next(p), ++row) {
    const RowBytes rec = Row(p);
    if (key_size_ > 0 && previous) {
      int c = CompareKeys(previous, rec);
      if (c == 0) report("row " + std::to_string(row + 1) + " repeats the key of the row before it");
      if (c > 0) report("row " + std::to_string(row + 1) + " is out of key order");
    }
    previous = rec;
    for (size_t f = 0; f < def_.fields.size(); ++f) {
      const FieldDef& fd = def_.fields[f];
      const uint8_t* at = rec + header_.offsets[f];
      const int n = header_.stored_sizes[f];
      // Only a problem needs the place spelled out.
      auto where = [&] { return "row " + std::to_string(row + 1) + ", field " + fd.name + ": "; };
      if (IsBlobType(fd.type)) {
        format::BlobLeader ref = format::ReadBlobLeader(at, n);
        if (!ref.IsExternal()) {
          if (ref.length > static_cast<uint32_t>(n - 10)) report(where() + "blob longer than its leader but not in the blob file");
          continue;
        }
        if (!blobs_) {
          report(where() + "blob in a missing blob file");
          continue;
        }
        std::string problem = blobs_->Check(ref);
        if (!problem.empty()) report(where() + "blob " + problem);
        const BlobRef noted{ref.offset_index, static_cast<uint32_t>(row), static_cast<uint32_t>(f)};
        std::memcpy(blob_refs.Add(), &noted, sizeof noted);
        continue;
      }
      try {
        Value v = format::DecodeField(fd.type, at, n, *codec_);
        if (auto* d = std::get_if<DateTime>(&v); d && fd.type == FieldType::kDate && d->HasDate() && !d->IsValidDate())
          report(where() + "invalid date");
      } catch (const std::exception& e) {
        report(where() + e.what());
      }
    }
  }

  // Equal references come out in chain order: the later row is the one reported.
  std::optional<uint32_t> last;
  for (const uint8_t* r; (r = blob_refs.Next()) != nullptr;) {
    BlobRef ref;
    std::memcpy(&ref, r, sizeof ref);
    if (last == ref.offset_index)
      report("row " + std::to_string(ref.row + 1) + ", field " + def_.fields[ref.field].name + ": blob shared with another row");
    last = ref.offset_index;
  }

  if (const std::string missing = MissingPrimaryIndex(); !missing.empty())
    report("the primary index file " + missing + " is missing");
  if (key_size_ > 0) {
    if (px_file_ && px_loaded_) {
      try {
        // Each entry against the next block that has rows, the tree read a block of each level at a time;
        // when their numbers differ, that alone is told.
        int block = 0;
        size_t entries = 0;
        std::string mismatch;
        auto next_block = [&] {
          while (block < BlockCount() && RowsIn(block) == 0) ++block;
        };
        next_block();
        format::ForEachIndexLeaf(*px_file_, px_header_, [&](format::IndexEntry&& leaf) {
          ++entries;
          if (!mismatch.empty() || block >= BlockCount()) return;
          if (leaf.block != NumberAt(block) || leaf.count != RowsIn(block) || leaf.key != FirstKeyCopy(block)) {
            mismatch = "entry " + std::to_string(entries) + " does not match data block " + std::to_string(NumberAt(block));
            return;
          }
          ++block;
          next_block();
        });
        size_t with_rows = 0;
        for (int i = 0; i < BlockCount(); ++i) with_rows += RowsIn(i) > 0;
        if (entries != with_rows)
          report(PrimaryIndexProblem("it lists " + std::to_string(entries) + " data blocks, the table has " +
                                     std::to_string(with_rows)));
        else if (!mismatch.empty())
          report(PrimaryIndexProblem(mismatch));
      } catch (const std::exception& e) {
        report(PrimaryIndexProblem(e.what()));
      }
    }
  }
  for (const std::string& p : VerifySecondaryIndexes()) report(p);
  return problems;
}

}  // namespace tabulor::db
