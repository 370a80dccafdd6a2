#include "db/paradox/index/index_build.h"

#include <algorithm>
#include <cstring>
#include <numeric>
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
  xh.num_records = static_cast<uint32_t>(records.size());
  xh.used_blocks = xh.file_blocks = blocks;
  xh.first_block = blocks ? 1 : 0;
  xh.last_block = blocks;
  xh.first_free_block = 0;

  // Y: the tree over the X blocks.
  const int key = layout.KeySize();
  if (yh.record_size != key + 6) throw std::runtime_error("the index tree's records do not match the table");
  format::IndexTree tree = BuildEngineTree(image.x_blocks, key, yh.block_size);
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
  std::copy(xh.raw.begin(), xh.raw.end(), image.x.begin());
  image.y = yh.raw;
  image.y.resize(static_cast<size_t>(yh.header_size), 0);
  image.y.insert(image.y.end(), tree.blocks.begin(), tree.blocks.end());
  return image;
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
