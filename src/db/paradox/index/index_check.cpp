#include "db/paradox/index/index_check.h"

#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>

#include "db/paradox/format/block.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/index/family_indexes.h"
#include "db/paradox/index/index_build.h"

namespace tabulor::db::index {

namespace {

// Calls `each` with the X file's records in chain order, reading a block at a time.
void ForEachIndexRecord(storage::PagedFile& file, const format::Header& h, const std::function<void(const uint8_t*)>& each) {
  std::set<int> seen;
  std::vector<uint8_t> block(static_cast<size_t>(h.block_size));
  for (int n = h.first_block; n != 0;) {
    if (n > h.file_blocks || !seen.insert(n).second) throw std::runtime_error("the block chain is damaged at block " + std::to_string(n));
    std::fill(block.begin(), block.end(), 0);
    file.Read(format::BlockOffset(h.header_size, h.block_size, n), block.data(), block.size());
    format::BlockHeader bh = format::BlockHeader::Parse(block.data());
    const int count = bh.RecordCount(h.record_size);
    if (count < 0 || format::BlockHeader::kSize + count * h.record_size > h.block_size)
      throw std::runtime_error("block " + std::to_string(n) + " has a bad size");
    for (int k = 0; k < count; ++k) each(block.data() + format::BlockHeader::kSize + static_cast<size_t>(k) * h.record_size);
    n = bh.next;
  }
}

}  // namespace

std::vector<std::vector<uint8_t>> ReadIndexRecords(Env& env, const std::string& path) {
  storage::PagedFile file(env.Open(path, OpenMode::kRead), path);
  const format::Header h = ReadHeader(file);
  std::vector<std::vector<uint8_t>> out;
  ForEachIndexRecord(file, h, [&](const uint8_t* r) { out.emplace_back(r, r + h.record_size); });
  return out;
}

std::vector<std::string> CheckIndexFiles(Env& env, const std::string& directory, const TableRows& rows,
                                         const IndexFiles& index) {
  std::vector<std::string> problems;
  const std::string who = "index " + index.def.name + " (" + index.x_name + "): ";
  try {
    KeyLayout layout(*rows.header, rows.def->key_field_count, index, *rows.codec);
    const std::string x_path = directory + "/" + index.x_name;
    storage::PagedFile x(env.Open(x_path, OpenMode::kRead), x_path);
    const format::Header xh = ReadHeader(x);
    if ((xh.num_records > 0 || xh.first_block != 0) && xh.record_size != layout.RecordSize())
      return {who + "its records do not have the layout of the table's fields"};
    // The original engine leaves a non-maintained index as it was until it is rebuilt.
    if (!layout.Maintained()) return problems;
    // The records the rows make, in index order, against the file's, a block at a time.
    RecordSorter expected(layout, SortBudget());
    const size_t count = rows.Count();
    size_t made = 0;
    rows.ForEach([&](const RowRef& row) {
      if (made < count) layout.MakeRecord(row, static_cast<int64_t>(made) + 1, expected.Add());
      ++made;
    });
    // The block number at the end of a record is only a hint: the engine looks elsewhere when it is stale.
    const size_t compared = static_cast<size_t>(layout.KeySize());
    size_t listed = 0, first_mismatch = 0;
    bool rows_left = true;
    ForEachIndexRecord(x, xh, [&](const uint8_t* record) {
      ++listed;
      const uint8_t* wanted = rows_left ? expected.Next() : nullptr;
      rows_left = wanted != nullptr;
      if (!first_mismatch && wanted && std::memcmp(record, wanted, compared) != 0) first_mismatch = listed;
    });
    if (listed != expected.Count()) {
      problems.push_back(who + "lists " + std::to_string(listed) + " rows, the table has " + std::to_string(expected.Count()));
      return problems;
    }
    if (first_mismatch)
      problems.push_back(who + "entry " + std::to_string(first_mismatch) + " does not match the table's rows");
    std::vector<format::IndexEntry> leaves;
    try {
      storage::PagedFile y(env.Open(directory + "/" + index.y_name, OpenMode::kRead), directory + "/" + index.y_name);
      leaves = format::ReadIndexLeaves(y, ReadHeader(y));
    } catch (const std::exception& e) {
      // The damage is in the tree file, not in the X file.
      problems.push_back("index " + index.def.name + " (" + index.y_name + "): " + e.what());
      return problems;
    }
    int total = 0;
    for (const auto& e : leaves) total += e.count;
    if (total != static_cast<int>(listed))
      problems.push_back(who + "its tree (" + index.y_name + ") counts " + std::to_string(total) + " rows, the index lists " +
                         std::to_string(listed));
  } catch (const std::exception& e) {
    problems.push_back(who + e.what());
  }
  return problems;
}

}  // namespace tabulor::db::index

#include "db/paradox/table_family.h"

namespace tabulor::db {

std::vector<std::string> TableFamily::VerifySecondaryIndexes() const {
  std::vector<std::string> problems;
  const index::TableRows rows = Rows();
  for (const index::IndexFiles& idx : secondary_.Indexes()) {
    std::vector<std::string> p = index::CheckIndexFiles(*env_, files_.directory, rows, idx);
    problems.insert(problems.end(), p.begin(), p.end());
    // The X file of a keyed table names the primary index's change counter it was kept with.
    if (!px_loaded_ || !idx.def.maintained) continue;
    try {
      storage::PagedFile x(env_->Open(files_.Path(idx.x_name), OpenMode::kRead), files_.Path(idx.x_name));
      const uint8_t names = index::ReadHeader(x).raw[0x2F];
      const uint8_t counter = px_header_.raw[format::hdr::kIndexChangeCount];
      if (names != counter)
        problems.push_back("index " + idx.def.name + " (" + idx.x_name + ") was kept with primary index counter " +
                           std::to_string(names) + ", the .PX has " + std::to_string(counter));
    } catch (const std::exception& e) {
      problems.push_back("index " + idx.def.name + " (" + idx.x_name + "): " + e.what());
    }
  }
  return problems;
}

}  // namespace tabulor::db
