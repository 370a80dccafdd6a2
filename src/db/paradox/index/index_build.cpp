#include "db/paradox/index/index_build.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <sys/types.h>
#include <stdexcept>

#include "db/paradox/format/block.h"
#include "db/paradox/format/bytes.h"
#include "db/paradox/format/field_codec.h"

namespace tabulor::db::index {

using format::BlockHeader;

format::Header ParseHeaderBytes(const std::vector<uint8_t>& raw) {
  return format::Header::Parse(raw, UINT32_MAX);
}

format::IndexTree BuildEngineTree(const std::vector<format::IndexEntry>& leaves, int key_size, int block_size) {
  format::IndexTree tree;
  tree.levels = 1;
  const int rec = key_size + 6;
  const size_t capacity = static_cast<size_t>((block_size - BlockHeader::kSize) / rec);
  if (capacity < 3) throw std::runtime_error("the key is too long for the index block size");
  // Levels from the leaves up; each level's blocks as lists of entries.
  std::vector<std::vector<std::vector<format::IndexEntry>>> levels;
  std::vector<format::IndexEntry> level = leaves;
  while (true) {
    std::vector<std::vector<format::IndexEntry>> blocks;
    if (level.size() <= capacity) {
      blocks.push_back(level);
    } else {
      for (size_t i = 0; i < level.size(); i += capacity - 1)
        blocks.emplace_back(level.begin() + static_cast<long>(i),
                            level.begin() + static_cast<long>(std::min(level.size(), i + capacity - 1)));
    }
    levels.push_back(blocks);
    if (blocks.size() == 1) break;
    // Parents point at children whose block numbers are known only once every
    // level is laid out; they are stored as indexes into the level for now.
    std::vector<format::IndexEntry> parents;
    for (size_t b = 0; b < blocks.size(); ++b) {
      int total = 0;
      for (const auto& e : blocks[b]) total += e.count;
      parents.push_back({blocks[b].front().key, static_cast<int>(b), total});
    }
    level = std::move(parents);
  }
  tree.levels = static_cast<int>(levels.size());
  if (leaves.empty()) {
    tree.levels = 0;
    return tree;
  }
  // Block numbers: root first, then each level down.
  std::vector<int> first_number(levels.size());
  int next = 1;
  for (int l = static_cast<int>(levels.size()) - 1; l >= 0; --l) {
    first_number[l] = next;
    next += static_cast<int>(levels[l].size());
  }
  tree.block_count = next - 1;
  format::RequireBlockCount(tree.block_count);
  tree.root = 1;
  tree.blocks.assign(static_cast<size_t>(tree.block_count) * block_size, 0);
  for (int l = static_cast<int>(levels.size()) - 1; l >= 0; --l) {
    for (size_t b = 0; b < levels[l].size(); ++b) {
      const int number = first_number[l] + static_cast<int>(b);
      uint8_t* out = tree.blocks.data() + static_cast<size_t>(number - 1) * block_size;
      const auto& entries = levels[l][b];
      format::ChainedBlockHeader(number, tree.block_count, static_cast<int>(entries.size()), rec).Store(out);
      for (size_t k = 0; k < entries.size(); ++k) {
        uint8_t* r = out + BlockHeader::kSize + k * rec;
        std::memcpy(r, entries[k].key.data(), static_cast<size_t>(key_size));
        const int child = l == 0 ? entries[k].block : first_number[l - 1] + entries[k].block;
        format::EncodeInt(r + key_size, 2, child);
        format::EncodeInt(r + key_size + 2, 2, entries[k].count);
        format::EncodeInt(r + key_size + 4, 2, 0);
      }
      tree.entries += static_cast<uint32_t>(entries.size());
    }
  }
  return tree;
}

namespace {

// The X records of the rows, contiguous in chain order, and their order in the index.
struct Sorted {
  std::vector<uint8_t> flat;
  std::vector<uint32_t> order;
  size_t record_size = 0;
  const uint8_t* operator[](size_t i) const { return flat.data() + order[i] * record_size; }
  size_t size() const { return order.size(); }
};

Sorted SortRecords(const TableRows& rows, const KeyLayout& layout) {
  Sorted sorted;
  const size_t rs = sorted.record_size = static_cast<size_t>(layout.RecordSize());
  const size_t count = rows.Count();
  sorted.flat.resize(count * rs);
  size_t i = 0;
  rows.ForEach([&](const RowRef& row) {
    if (i < count) layout.MakeRecord(row, static_cast<int64_t>(i) + 1, sorted.flat.data() + i * rs);
    ++i;
  });
  sorted.order.resize(count);
  for (size_t k = 0; k < count; ++k) sorted.order[k] = static_cast<uint32_t>(k);
  const int key = layout.KeySize();
  const uint8_t* flat = sorted.flat.data();
  std::stable_sort(sorted.order.begin(), sorted.order.end(), [&](uint32_t a, uint32_t b) {
    return layout.Compare(flat + a * rs, flat + b * rs, key) < 0;
  });
  return sorted;
}

}  // namespace

std::vector<std::vector<uint8_t>> SortedRecords(const TableRows& rows, const KeyLayout& layout) {
  const Sorted sorted = SortRecords(rows, layout);
  std::vector<std::vector<uint8_t>> records;
  records.reserve(sorted.size());
  for (size_t i = 0; i < sorted.size(); ++i) records.emplace_back(sorted[i], sorted[i] + sorted.record_size);
  return records;
}

std::vector<uint8_t> FinishIndexHeaders(format::Header& xh, format::Header& yh, uint32_t records, int blocks,
                                        const std::vector<format::IndexEntry>& leaves, int key_size,
                                        const TableStamps& stamps, Counters counters) {
  xh.num_records = records;
  xh.used_blocks = xh.file_blocks = blocks;
  xh.first_block = blocks ? 1 : 0;
  xh.last_block = blocks;
  xh.first_free_block = 0;

  // Y: the tree over the X blocks.
  if (yh.record_size != key_size + 6) throw std::runtime_error("the index tree's records do not match the table");
  format::IndexTree tree = BuildEngineTree(leaves, key_size, yh.block_size);
  yh.num_records = tree.entries;
  yh.used_blocks = yh.file_blocks = tree.block_count;
  yh.first_block = tree.block_count ? 1 : 0;
  yh.last_block = tree.block_count;
  yh.index_root = 1;
  yh.index_levels = tree.levels;
  yh.first_free_block = 0;

  uint8_t& x_counter = xh.raw[format::hdr::kChangeCount1];
  uint8_t& y_counter = yh.raw[format::hdr::kIndexChangeCount];
  switch (counters) {
    case Counters::kRebuilt: y_counter = x_counter; break;
    case Counters::kKept: break;
  }
  xh.raw[format::hdr::kChangeCount2] = stamps.structure;
  if (stamps.keyed) xh.raw[0x2F] = stamps.primary_index;
  xh.StoreCounters();
  yh.StoreCounters();
  std::vector<uint8_t> y = yh.raw;
  y.resize(static_cast<size_t>(yh.header_size), 0);
  y.insert(y.end(), tree.blocks.begin(), tree.blocks.end());
  return y;
}

IndexImage BuildIndexImage(const TableRows& rows, const KeyLayout& layout,
                           format::Header xh, format::Header yh, const TableStamps& stamps, Counters counters) {
  IndexImage image;
  const int rs = layout.RecordSize();
  if (xh.record_size != rs) throw std::runtime_error("the index file's records do not match the table");
  const Sorted records = SortRecords(rows, layout);

  // X: the records packed into full blocks, chained in order.
  const int bs = xh.block_size;
  const int per_block = (bs - BlockHeader::kSize) / rs;
  const int blocks = static_cast<int>((records.size() + per_block - 1) / per_block);
  format::RequireBlockCount(blocks);
  image.x = xh.raw;
  image.x.resize(static_cast<size_t>(xh.header_size) + static_cast<size_t>(blocks) * bs, 0);
  for (int b = 0; b < blocks; ++b) {
    uint8_t* out = image.x.data() + xh.header_size + static_cast<size_t>(b) * bs;
    const size_t first = static_cast<size_t>(b) * per_block;
    const int n = static_cast<int>(std::min<size_t>(per_block, records.size() - first));
    format::ChainedBlockHeader(b + 1, blocks, n, rs).Store(out);
    for (int k = 0; k < n; ++k) std::memcpy(out + BlockHeader::kSize + static_cast<size_t>(k) * rs, records[first + k], rs);
    image.x_blocks.push_back({std::vector<uint8_t>(records[first], records[first] + layout.KeySize()), b + 1, n});
  }
  image.y = FinishIndexHeaders(xh, yh, static_cast<uint32_t>(records.size()), blocks, image.x_blocks, layout.KeySize(),
                               stamps, counters);
  std::copy(xh.raw.begin(), xh.raw.end(), image.x.begin());
  return image;
}

namespace {
std::atomic<size_t> sort_budget{4u << 20};
std::atomic<uint64_t> merged_count{0}, built_count{0}, run_count{0};
}  // namespace

void SetSortBudget(size_t bytes) {
  sort_budget = bytes;
  merged_count = built_count = run_count = 0;
}
size_t SortBudget() { return sort_budget; }
RewriteCounters Rewrites() { return {merged_count, built_count, run_count}; }
void NoteRewrite(bool merged, int runs) {
  ++(merged ? merged_count : built_count);
  run_count += static_cast<uint64_t>(runs);
}

RecordSorter::RecordSorter(size_t record_size, Compare compare, size_t budget)
    : compare_(std::move(compare)), rs_(record_size) {
  chunk_records_ = std::max<size_t>(2, budget / (rs_ + sizeof(uint32_t)));
}

RecordSorter::RecordSorter(const KeyLayout& layout, size_t budget)
    : RecordSorter(
          static_cast<size_t>(layout.RecordSize()),
          [&layout, key = layout.KeySize()](const uint8_t* a, const uint8_t* b) { return layout.Compare(a, b, key); },
          budget) {}

RecordSorter::~RecordSorter() {
  if (spill_) std::fclose(spill_);
}

uint8_t* RecordSorter::Add() {
  if (chunk_count_ == chunk_records_) SpillChunk();
  if (chunk_.size() < (chunk_count_ + 1) * rs_)
    chunk_.resize(std::min(chunk_records_, std::max<size_t>(64, 2 * (chunk_count_ + 1))) * rs_);
  ++count_;
  return chunk_.data() + chunk_count_++ * rs_;
}

void RecordSorter::SortChunk() {
  order_.resize(chunk_count_);
  for (size_t k = 0; k < chunk_count_; ++k) order_[k] = static_cast<uint32_t>(k);
  const uint8_t* flat = chunk_.data();
  const size_t rs = rs_;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](uint32_t a, uint32_t b) { return compare_(flat + a * rs, flat + b * rs) < 0; });
}

void RecordSorter::SpillChunk() {
  if (chunk_count_ == 0) return;
  SortChunk();
  if (!spill_) {
    spill_ = std::tmpfile();
    if (!spill_) throw std::runtime_error("no temporary file for sorting records");
  }
  Run run;
  run.offset = spilled_bytes_;
  run.records = chunk_count_;
  for (uint32_t k : order_)
    if (std::fwrite(chunk_.data() + k * rs_, 1, rs_, spill_) != rs_)
      throw std::runtime_error("writing the temporary file of sorted records failed");
  spilled_bytes_ += chunk_count_ * rs_;
  runs_.push_back(std::move(run));
  chunk_count_ = 0;
}

bool RecordSorter::Refill(size_t r) {
  Run& run = runs_[r];
  if (run.at < run.held) return true;
  if (run.taken == run.records) return false;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(run.buffer.size() / rs_, run.records - run.taken));
  if (fseeko(spill_, static_cast<off_t>(run.offset + run.taken * rs_), SEEK_SET) != 0 ||
      std::fread(run.buffer.data(), 1, n * rs_, spill_) != n * rs_)
    throw std::runtime_error("reading the temporary file of sorted records failed");
  run.taken += n;
  run.at = 0;
  run.held = n;
  return true;
}

void RecordSorter::StartMerge() {
  merging_ = true;
  if (runs_.empty()) {
    SortChunk();
    return;
  }
  SpillChunk();
  std::vector<uint8_t>().swap(chunk_);
  std::vector<uint32_t>().swap(order_);
  if (std::fflush(spill_) != 0) throw std::runtime_error("writing the temporary file of sorted records failed");
  // The budget shared among the runs' buffers.
  const size_t per_run = std::max<size_t>(1, chunk_records_ * (rs_ + sizeof(uint32_t)) / runs_.size() / rs_);
  for (size_t r = 0; r < runs_.size(); ++r) {
    runs_[r].buffer.resize(static_cast<size_t>(std::min<uint64_t>(per_run, runs_[r].records)) * rs_);
    if (Refill(r)) heap_.push_back(r);
  }
  std::make_heap(heap_.begin(), heap_.end(), [&](size_t a, size_t b) { return RunBefore(b, a); });
}

bool RecordSorter::RunBefore(size_t a, size_t b) const {
  const int c = compare_(runs_[a].buffer.data() + runs_[a].at * rs_, runs_[b].buffer.data() + runs_[b].at * rs_);
  // Equal records: the earlier run holds the rows added first.
  return c < 0 || (c == 0 && a < b);
}

const uint8_t* RecordSorter::Next() {
  if (!merging_) StartMerge();
  if (runs_.empty()) return next_ < chunk_count_ ? chunk_.data() + order_[next_++] * rs_ : nullptr;
  const auto later = [&](size_t a, size_t b) { return RunBefore(b, a); };
  if (last_run_ != SIZE_MAX) {
    // The run the last record came from moves on to its next one.
    ++runs_[last_run_].at;
    if (Refill(last_run_)) {
      heap_.push_back(last_run_);
      std::push_heap(heap_.begin(), heap_.end(), later);
    }
    last_run_ = SIZE_MAX;
  }
  if (heap_.empty()) return nullptr;
  std::pop_heap(heap_.begin(), heap_.end(), later);
  last_run_ = heap_.back();
  heap_.pop_back();
  return runs_[last_run_].buffer.data() + runs_[last_run_].at * rs_;
}

XWritten WriteXBlocks(storage::PagedFile& x, const format::Header& xh, const KeyLayout& layout,
                      const std::function<const uint8_t*()>& next, const std::function<void(int)>& before_write) {
  XWritten out;
  const size_t rs = static_cast<size_t>(layout.RecordSize());
  if (xh.record_size != layout.RecordSize()) throw std::runtime_error("the index file's records do not match the table");
  const int bs = xh.block_size;
  const int per_block = (bs - BlockHeader::kSize) / static_cast<int>(rs);
  const uint64_t old_size = x.Size();
  // A block is written once the next one has a record: only then is it known not to be the last.
  std::vector<uint8_t> pending(static_cast<size_t>(bs), 0), filling(static_cast<size_t>(bs), 0), old(static_cast<size_t>(bs));
  int pending_n = 0, filling_n = 0;
  auto emit = [&](std::vector<uint8_t>& block, int n, bool last) {
    const int number = ++out.blocks;
    format::RequireBlockCount(number);
    BlockHeader{static_cast<uint16_t>(last ? 0 : number + 1), static_cast<uint16_t>(number - 1),
                BlockHeader::SizeFor(n, static_cast<int>(rs))}
        .Store(block.data());
    out.leaves.push_back({std::vector<uint8_t>(block.begin() + BlockHeader::kSize,
                                               block.begin() + BlockHeader::kSize + layout.KeySize()),
                          number, n});
    before_write(number);
    const uint64_t at = format::BlockOffset(xh.header_size, bs, number);
    const bool same = at + static_cast<uint64_t>(bs) <= old_size && x.Read(at, old.data(), old.size()) == old.size() &&
                      old == block;
    if (!same) {
      out.changed = true;
      x.Write(at, block.data(), block.size());
    }
    std::fill(block.begin(), block.end(), 0);
  };
  for (const uint8_t* r = next(); r; r = next()) {
    if (filling_n == per_block) {
      if (pending_n) emit(pending, pending_n, false);
      std::swap(pending, filling);
      pending_n = filling_n;
      filling_n = 0;
    }
    std::memcpy(filling.data() + BlockHeader::kSize + static_cast<size_t>(filling_n) * rs, r, rs);
    ++filling_n;
    ++out.records;
  }
  if (pending_n) emit(pending, pending_n, filling_n == 0);
  if (filling_n) emit(filling, filling_n, true);
  if (old_size != static_cast<uint64_t>(xh.header_size) + static_cast<uint64_t>(out.blocks) * bs) out.changed = true;
  return out;
}

format::Header NewXHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout, const format::CodePage& cp) {
  format::NewTableLayout l;
  l.fields = layout.XFields(def);
  for (auto& f : l.fields) f.name = cp.FromUtf8(f.name);
  l.key_fields = layout.KeyFieldCount();
  l.block_size_kb = table.block_size / 1024;
  l.file_version = std::max(table.file_version, 5);
  l.code_page = cp.Number();
  l.sort_order_id = table.sort_order_id;
  l.table_file_name = index.x_name;
  std::vector<uint8_t> raw = format::BuildTableHeader(l);
  uint8_t* p = raw.data();
  const bool composite = index.x_name.size() > 2 && (index.x_name[index.x_name.size() - 2] | 0x20) == 'g';
  p[format::hdr::kFileType] = composite ? (index.def.maintained ? format::kCompositeIndexMaintained
                                                                : format::kCompositeIndexNonMaintained)
                                        : (index.def.maintained ? format::kSecondaryIndexMaintained
                                                                : format::kSecondaryIndexNonMaintained);
  p[format::hdr::kIndexFieldNumber] = static_cast<uint8_t>(index.fields.front() + 1);
  p[format::hdr::kSortOrder] = static_cast<uint8_t>(table.sort_order);
  p[format::hdr::kIndexChangeCount] = 0xFF;
  p[format::hdr::kChangeCount1] = 1;
  format::PutLe32(p + format::hdr::kAutoInc, table.auto_inc);
  p[0x55] = static_cast<uint8_t>((index.def.case_insensitive ? 0x01 : 0) | (index.def.descending ? 0x10 : 0) |
                                 (index.def.unique ? 0x20 : 0));
  const size_t numbers = 0x58 + format::GetLe16(p + format::hdr::kFieldNumbersOffset);
  for (size_t k = 0; k < index.fields.size(); ++k) {
    const bool desc = k < index.descending.size() && index.descending[k];
    format::PutLe16(p + numbers + 2 * k, static_cast<uint16_t>((index.fields[k] + 1) | (desc ? 0x8000 : 0)));
  }
  if (composite) {
    const std::string name = cp.FromUtf8(index.def.name);
    size_t at = format::GetLe16(p + format::hdr::kRealHeaderSize);
    if (at + name.size() + 1 > raw.size()) throw std::runtime_error("the index name does not fit in the header");
    std::memcpy(p + at, name.data(), name.size());
    format::PutLe16(p + format::hdr::kIndexNameOffset, static_cast<uint16_t>(at - 0x58));
    format::PutLe16(p + format::hdr::kRealHeaderSize, static_cast<uint16_t>(at + name.size() + 1));
  }
  return ParseHeaderBytes(raw);
}

format::Header NewYHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout) {
  format::NewTableLayout l;
  l.fields = layout.XFields(def);
  l.fields.resize(static_cast<size_t>(layout.KeyFieldCount()));
  l.key_fields = layout.KeyFieldCount();
  l.file_version = std::max(table.file_version, 5);
  l.sort_order_id = table.sort_order_id;
  l.table_file_name = index.y_name;
  int kb = 2;
  while ((kb * 1024 - BlockHeader::kSize) / (layout.KeySize() + 6) < 3) kb *= 2;
  if (kb > 32) throw std::runtime_error("the index key is too long");
  std::vector<uint8_t> raw = format::BuildPrimaryIndexHeader(l, kb);
  const bool composite = index.y_name.size() > 2 && (index.y_name[index.y_name.size() - 2] | 0x20) == 'g';
  raw[format::hdr::kFileType] = composite ? format::kCompositeIndexTree : format::kSecondaryIndexTree;
  raw[format::hdr::kSortOrder] = static_cast<uint8_t>(table.sort_order);
  return ParseHeaderBytes(raw);
}

}  // namespace tabulor::db::index
