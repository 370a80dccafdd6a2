#pragma once
// The secondary index files of an open table: found when it opens, joined to
// its journal when it is first written, and brought in step with the rows at
// every flush so that they always list exactly what the table holds. A flush
// that knows which rows changed since the files were last written merges the
// records of those rows into the X file as it stands, block by block; without
// that it builds the records of every row afresh. Either way the files end up
// byte for byte what a fresh build leaves, and a flush holds a bounded number
// of records in memory (SortBudget), whatever the size of the table.
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/index/index_layout.h"
#include "db/paradox/storage/journal.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::index {

class FamilyIndexes {
 public:
  void Load(Env& env, const std::string& directory, const std::vector<std::string>& side_files, const TableDef& def,
            const format::CodePage& cp, std::vector<std::string>* problems);
  const std::vector<IndexFiles>& Indexes() const { return indexes_; }

  void OpenForWrite(Env& env, const std::string& directory, storage::Journal& journal);
  // Rewrites the X and Y files of every index from the rows, from `changes`
  // where they tell enough (the indexes the files were last written with).
  void Rewrite(const TableRows& rows, const TableStamps& stamps, const IndexChanges* changes);
  // The files of index `i` opened for writing; null before OpenForWrite.
  storage::PagedFile* XFile(size_t i) const { return i < files_.size() ? files_[i].x.get() : nullptr; }
  storage::PagedFile* YFile(size_t i) const { return i < files_.size() ? files_[i].y.get() : nullptr; }

 private:
  struct Writable {
    std::unique_ptr<storage::PagedFile> x, y;
  };
  std::vector<IndexFiles> indexes_;
  std::vector<Writable> files_;
  const format::CodePage* cp_ = nullptr;
};

// Reads a header from the start of a file.
format::Header ReadHeader(storage::PagedFile& file);

// Writes `bytes` as the whole content of the file.
void ReplaceContent(storage::PagedFile& file, const std::vector<uint8_t>& bytes);

}  // namespace tabulor::db::index
