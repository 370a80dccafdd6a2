#include "db/paradox/schema_ops/restructure.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "db/paradox/error.h"
#include "db/paradox/format/block.h"
#include "db/paradox/format/bytes.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/file_set_writer.h"
#include "db/paradox/values.h"

namespace tabulor::db::schema_ops {
namespace {

using format::BlockHeader;
namespace hdr = format::hdr;

bool NeedsVersion5(FieldType t) {
  switch (t) {
    case FieldType::kLong: case FieldType::kLogical: case FieldType::kTime: case FieldType::kTimestamp:
    case FieldType::kAutoInc: case FieldType::kBcd: case FieldType::kBytes:
      return true;
    default:
      return false;
  }
}

// A table header for the new fields that keeps every byte of the old header
// the field list does not decide (counters, the engine's own bytes, field IDs).
std::vector<uint8_t> BuildHeaderLike(const format::Header& old, const TableChange& change, const format::CodePage& cp) {
  int version = std::max(old.file_version, 9);
  for (const TargetField& f : change.fields)
    if (NeedsVersion5(f.def.type)) version = std::max(version, 11);
  format::NewTableLayout l;
  for (const TargetField& f : change.fields) {
    FieldDef d = f.def;
    d.name = cp.FromUtf8(d.name);
    l.fields.push_back(d);
  }
  l.key_fields = change.key_field_count;
  l.block_size_kb = old.block_size / 1024;
  l.file_version = version;
  l.code_page = cp.Number();
  l.sort_order_id = old.sort_order_id.empty() ? "ascii" : old.sort_order_id;
  l.table_file_name = old.table_name;
  std::vector<uint8_t> raw = format::BuildTableHeader(l);
  uint8_t* p = raw.data();
  const uint8_t* o = old.raw.data();
  // The engine's bytes between the counts and the field list.
  for (int at = 0x12; at < 0x58; ++at) {
    if (at == hdr::kNumFields || at == hdr::kNumFields + 1 || at == hdr::kKeyFields || at == hdr::kKeyFields + 1 ||
        at == hdr::kFileVersion || at == hdr::kRealHeaderSize || at == hdr::kRealHeaderSize + 1 ||
        at == hdr::kFirstFreeBlock || at == hdr::kFirstFreeBlock + 1 || at == hdr::kFileType ||
        at == hdr::kIndexRoot || at == hdr::kIndexRoot + 1 || at == hdr::kIndexLevels)
      continue;
    p[at] = o[at];
  }
  if (old.HasDataHeader()) {
    for (int at : {0x5C, 0x5D, 0x5E, 0x5F, 0x6C, 0x6D, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77}) p[at] = o[at];
    if (version == old.file_version) {
      std::memcpy(p + hdr::kFileVerId2, o + hdr::kFileVerId2, 4);
    }
  }
  p[hdr::kChangeCount1] = static_cast<uint8_t>(o[hdr::kChangeCount1] + 1);
  p[hdr::kChangeCount2] = static_cast<uint8_t>(o[hdr::kChangeCount2] + 1);  // the structure's version
  format::PutLe32(p + hdr::kUpdateTime, static_cast<uint32_t>(std::time(nullptr)));
  // Persistent field IDs: kept for the fields that stay, new ones for added fields.
  int next_id = old.HasDataHeader() ? format::GetLe16(o + hdr::kHiFieldId) : static_cast<int>(old.fields.size()) + 1;
  const size_t numbers = 0x58 + format::GetLe16(p + hdr::kFieldNumbersOffset);
  for (size_t i = 0; i < change.fields.size(); ++i) {
    const int from = change.fields[i].from;
    int id = from >= 0 && from < static_cast<int>(old.field_numbers.size()) ? old.field_numbers[from]
             : from >= 0                                                    ? from + 1
                                                                            : next_id++;
    next_id = std::max(next_id, id + 1);
    format::PutLe16(p + numbers + 2 * i, static_cast<uint16_t>(id));
  }
  format::PutLe16(p + hdr::kHiFieldId, static_cast<uint16_t>(next_id));
  return raw;
}

// The new record of a row of the present table.
void ConvertRecord(const TableFamily& table, const format::Header& nh, const TableChange& change, const uint8_t* row,
                   uint8_t* out) {
  const format::Header& oh = table.Header();
  for (size_t i = 0; i < change.fields.size(); ++i) {
    const TargetField& tf = change.fields[i];
    if (tf.from < 0) continue;
    const uint8_t* src = row + oh.offsets[tf.from];
    uint8_t* dst = out + nh.offsets[i];
    const FieldDef& of = oh.fields[tf.from];
    if (of.type == tf.def.type && oh.stored_sizes[tf.from] == nh.stored_sizes[i] && of.size == tf.def.size) {
      std::memcpy(dst, src, static_cast<size_t>(nh.stored_sizes[i]));
      continue;
    }
    if (IsBlobType(of.type) || IsBlobType(tf.def.type))
      table.Fail("a blob field keeps its type and size", tf.def.name);
    if (format::IsBlankField(src, oh.stored_sizes[tf.from])) continue;
    try {
      Value v = format::DecodeField(of.type, src, oh.stored_sizes[tf.from], table.Codec());
      v = values::ToFieldKind(tf.def.type, tf.def.size, v);
      format::EncodeField(tf.def.type, v, dst, nh.stored_sizes[i], tf.def.size, table.Codec());
    } catch (const std::exception& e) {
      table.Fail(std::string("a value cannot be converted: ") + e.what(), tf.def.name);
    }
  }
}

struct DataFile {
  std::vector<uint8_t> bytes;
  std::vector<format::IndexEntry> block_starts;  // first key, block number, rows: the .PX leaves
  index::TableRows rows;
  format::Header header;
};

DataFile PackRecords(std::vector<uint8_t> header_raw, const std::vector<std::vector<uint8_t>>& records, int key_size,
                     const TableDef& def, const format::CodePage& cp) {
  DataFile out;
  format::Header h = index::ParseHeaderBytes(header_raw);
  const int rs = h.record_size, bs = h.block_size;
  const int per_block = (bs - BlockHeader::kSize) / rs;
  const int blocks = static_cast<int>((records.size() + per_block - 1) / per_block);
  format::RequireBlockCount(blocks);
  out.bytes.assign(static_cast<size_t>(h.header_size) + static_cast<size_t>(blocks) * bs, 0);
  for (int b = 0; b < blocks; ++b) {
    uint8_t* block = out.bytes.data() + h.header_size + static_cast<size_t>(b) * bs;
    const size_t first = static_cast<size_t>(b) * per_block;
    const int n = static_cast<int>(std::min<size_t>(per_block, records.size() - first));
    format::ChainedBlockHeader(b + 1, blocks, n, rs).Store(block);
    for (int k = 0; k < n; ++k) std::memcpy(block + BlockHeader::kSize + static_cast<size_t>(k) * rs, records[first + k].data(), rs);
    out.block_starts.push_back({std::vector<uint8_t>(records[first].begin(), records[first].begin() + key_size), b + 1, n});
  }
  h.num_records = static_cast<uint32_t>(records.size());
  h.used_blocks = h.file_blocks = blocks;
  h.first_block = blocks ? 1 : 0;
  h.last_block = blocks;
  h.first_free_block = 0;
  h.StoreCounters();
  std::copy(h.raw.begin(), h.raw.end(), out.bytes.begin());
  out.header = index::ParseHeaderBytes(h.raw);
  out.rows = {&out.header, &def, &cp, {}};
  for (int b = 0; b < blocks; ++b) {
    const uint8_t* block = out.bytes.data() + h.header_size + static_cast<size_t>(b) * bs;
    const int n = out.block_starts[b].count;
    for (int k = 0; k < n; ++k) out.rows.rows.push_back({block + BlockHeader::kSize + static_cast<size_t>(k) * rs, b + 1, k});
  }
  return out;
}

// The .PX file for the packed blocks: the old header when the key is the same.
std::vector<uint8_t> PrimaryIndexFile(const format::Header& table, const std::vector<format::IndexEntry>& leaves,
                                      int key_size, const std::vector<uint8_t>* old_px, const std::string& name) {
  format::Header ph;
  bool reuse = false;
  if (old_px) {
    ph = index::ParseHeaderBytes(*old_px);
    reuse = ph.record_size == key_size + 6 && ph.fields.size() == static_cast<size_t>(table.key_fields);
    for (size_t i = 0; reuse && i < ph.fields.size(); ++i)
      reuse = ph.fields[i].type == table.fields[i].type && ph.stored_sizes[i] == table.stored_sizes[i];
  }
  if (!reuse) {
    format::NewTableLayout l;
    l.fields = table.fields;
    l.key_fields = table.key_fields;
    l.file_version = table.file_version;
    l.sort_order_id = table.sort_order_id;
    l.table_file_name = name;
    int kb = 2;
    while ((kb * 1024 - BlockHeader::kSize) / (key_size + 6) < 3) kb *= 2;
    if (kb > 32) throw std::runtime_error("the key is too long");
    std::vector<uint8_t> raw = format::BuildPrimaryIndexHeader(l, kb);
    raw[hdr::kSortOrder] = static_cast<uint8_t>(table.sort_order);
    ph = index::ParseHeaderBytes(raw);
  }
  format::IndexTree tree = index::BuildEngineTree(leaves, key_size, ph.block_size);
  ph.num_records = tree.entries;
  ph.used_blocks = ph.file_blocks = tree.block_count;
  ph.first_block = tree.block_count ? 1 : 0;
  ph.last_block = tree.block_count;
  ph.index_root = 1;
  ph.index_levels = tree.levels;
  ph.first_free_block = 0;
  // Built afresh: the index's counter equals the table's.
  ph.raw[hdr::kIndexChangeCount] = table.raw[hdr::kChangeCount1];
  ph.StoreCounters();
  std::vector<uint8_t> bytes = ph.raw;
  bytes.resize(static_cast<size_t>(ph.header_size), 0);
  bytes.insert(bytes.end(), tree.blocks.begin(), tree.blocks.end());
  return bytes;
}

std::vector<uint8_t> ReadHeaderBytes(Env& env, const std::string& path) {
  auto f = env.Open(path, OpenMode::kRead);
  uint8_t prefix[4] = {};
  if (f->ReadAt(0, prefix, 4) < 4) throw std::runtime_error(path + " is empty");
  std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
  raw.resize(f->ReadAt(0, raw.data(), raw.size()));
  return raw;
}

// Writes the X and Y files of `idx` over `rows` into `out`.
void AddIndexImage(FileSetWriter& out, const index::TableRows& rows, const format::Header& table, const TableDef& def,
                   const index::IndexFiles& idx, const format::CodePage& cp, uint8_t primary_counter,
                   const format::Header* xh, const format::Header* yh) {
  index::KeyLayout layout(table, def.key_field_count, idx, cp);
  format::Header x = xh ? *xh : index::NewXHeader(table, def, idx, layout, cp);
  format::Header y = yh ? *yh : index::NewYHeader(table, def, idx, layout);
  index::TableStamps stamps;
  stamps.structure = table.raw[hdr::kChangeCount2];
  stamps.keyed = def.key_field_count > 0;
  stamps.primary_index = primary_counter;
  index::IndexImage image = index::BuildIndexImage(rows, layout, x, y, stamps, index::Counters::kRebuilt);
  if (idx.def.unique) {
    const std::vector<std::vector<uint8_t>> sorted = index::SortedRecords(rows, layout);
    for (size_t i = 1; i < sorted.size(); ++i)
      if (layout.Compare(sorted[i - 1].data(), sorted[i].data(), layout.IndexedSize()) == 0)
        throw EngineError("Table " + idx.x_name.substr(0, idx.x_name.size() - 4) + ": the unique index " + idx.def.name +
                          " cannot be built, the table holds duplicate values");
  }
  out.Replace(idx.x_name, std::move(image.x));
  out.Replace(idx.y_name, std::move(image.y));
}

template <typename F>
void AsEngineError(TableFamily& table, F&& f) {
  try {
    f();
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    table.Fail(std::string("the change could not be made, the table is unchanged: ") + e.what());
  }
}


std::string DirectoryOf(const TableFamily& table) {
  const std::string& path = table.Path();
  return path.substr(0, path.find_last_of('/'));
}
std::string FileOf(const TableFamily& table) {
  const std::string& path = table.Path();
  return path.substr(path.find_last_of('/') + 1);
}

}  // namespace

void Restructure(Env& env, TableFamily& table, const TableChange& change) {
  AsEngineError(table, [&] {
    const std::string dir = DirectoryOf(table);
    const FamilyFiles files = FamilyFiles::Find(env, dir, FileOf(table));
    const format::Header& oh = table.Header();
    const format::CodePage& cp = table.Codec();

    TableDef def;
    for (const TargetField& f : change.fields) def.fields.push_back(f.def);
    def.key_field_count = change.key_field_count;
    std::vector<uint8_t> header_raw = BuildHeaderLike(oh, change, cp);
    format::Header nh = index::ParseHeaderBytes(header_raw);
    if (nh.record_size > nh.block_size - BlockHeader::kSize)
      table.Fail("the record would no longer fit in a block of " + std::to_string(nh.block_size / 1024) + " KiB");
    int key_size = 0;
    for (int i = 0; i < change.key_field_count; ++i) key_size += nh.stored_sizes[i];

    std::vector<std::vector<uint8_t>> records;
    records.reserve(static_cast<size_t>(table.RecordCount()));
    table.Rows().ForEach([&](const index::RowRef& row) {
      records.emplace_back(static_cast<size_t>(nh.record_size), 0);
      ConvertRecord(table, nh, change, row.record, records.back().data());
    });
    // A new or changed key puts the rows in its order and must be unique.
    bool same_key = change.key_field_count == table.Definition().key_field_count;
    for (int i = 0; same_key && i < change.key_field_count; ++i)
      same_key = change.fields[i].from == i && change.fields[i].def.type == oh.fields[i].type &&
                 nh.stored_sizes[i] == oh.stored_sizes[i];
    if (key_size > 0 && !same_key) {
      std::stable_sort(records.begin(), records.end(), [&](const auto& a, const auto& b) {
        return std::memcmp(a.data(), b.data(), static_cast<size_t>(key_size)) < 0;
      });
      for (size_t i = 1; i < records.size(); ++i)
        if (std::memcmp(records[i - 1].data(), records[i].data(), static_cast<size_t>(key_size)) == 0)
          table.Fail("Key violation: the rows hold duplicate values of the new primary key");
    }
    DataFile data = PackRecords(header_raw, records, key_size, def, cp);
    records.clear();

    FileSetWriter out(env, dir, files.db);
    if (key_size > 0) {
      std::vector<uint8_t> old_px;
      if (!files.px.empty()) old_px = ReadHeaderBytes(env, files.Path(files.px));
      const std::string px = files.px.empty() ? files.BaseName() + ".PX" : files.px;
      out.Replace(px, PrimaryIndexFile(data.header, data.block_starts, key_size, files.px.empty() ? nullptr : &old_px, px));
    } else if (!files.px.empty()) {
      out.RemoveAfter(files.px);
    }
    if (change.drop_secondary_indexes)
      for (const std::string& name : files.secondary) out.RemoveAfter(name);
    // The present indexes follow their fields; an index whose field is gone goes with it.
    const std::vector<index::IndexFiles> present =
        change.drop_secondary_indexes ? std::vector<index::IndexFiles>{} : table.SecondaryIndexes();
    for (index::IndexFiles idx : present) {
      bool kept = true;
      for (size_t k = 0; k < idx.fields.size(); ++k) {
        auto to = std::find_if(change.fields.begin(), change.fields.end(),
                               [&](const TargetField& f) { return f.from == idx.fields[k]; });
        if (to == change.fields.end()) {
          kept = false;
          break;
        }
        idx.fields[k] = static_cast<int>(to - change.fields.begin());
        idx.def.fields[k] = to->def.name;
      }
      if (!kept || (idx.def.maintained && key_size == 0)) {
        out.RemoveAfter(idx.x_name);
        out.RemoveAfter(idx.y_name);
        continue;
      }
      if (idx.fields.size() == 1 && names::EqualNoCase(idx.def.name, table.Definition().fields[idx.fields[0]].name))
        idx.def.name = def.fields[idx.fields[0]].name;
      AddIndexImage(out, data.rows, data.header, def, idx, cp, data.header.raw[hdr::kChangeCount1], nullptr, nullptr);
    }
    for (const index::IndexFiles& idx : change.added_indexes)
      AddIndexImage(out, data.rows, data.header, def, idx, cp, data.header.raw[hdr::kChangeCount1], nullptr, nullptr);
    // Validity checks carry the table's structure version in their first byte.
    for (const std::string& entry : env.ListDirectory(dir))
      if (names::EqualNoCase(entry, files.BaseName() + ".VAL"))
        out.Patch(entry, 0, {data.header.raw[hdr::kChangeCount2]});
    out.Replace(files.db, std::move(data.bytes));
    out.Commit();
  });
}

void AddIndexFiles(Env& env, TableFamily& table, const std::vector<index::IndexFiles>& indexes) {
  AsEngineError(table, [&] {
    const std::string dir = DirectoryOf(table);
    const FamilyFiles files = FamilyFiles::Find(env, dir, FileOf(table));
    // The X file names the primary index's counter it was built against.
    uint8_t primary_counter = 0;
    if (!files.px.empty()) primary_counter = ReadHeaderBytes(env, files.Path(files.px))[hdr::kIndexChangeCount];
    FileSetWriter out(env, dir, files.db);
    const index::TableRows rows = table.Rows();
    for (const index::IndexFiles& idx : indexes)
      AddIndexImage(out, rows, table.Header(), table.Definition(), idx, table.Codec(), primary_counter, nullptr, nullptr);
    out.Commit();
  });
}

void RebuildIndexFiles(Env& env, TableFamily& table) {
  AsEngineError(table, [&] {
    const std::string dir = DirectoryOf(table);
    const FamilyFiles files = FamilyFiles::Find(env, dir, FileOf(table));
    FileSetWriter out(env, dir, files.db);
    const index::TableRows rows = table.Rows();
    const format::Header& h = table.Header();
    const int keys = table.Definition().key_field_count;
    if (keys > 0) {
      std::vector<format::IndexEntry> leaves;
      const int key_size = table.KeySize();
      int b = -1;
      rows.ForEach([&](const index::RowRef& row) {
        if (b != row.block) leaves.push_back({std::vector<uint8_t>(row.record, row.record + key_size), row.block, 0});
        b = row.block;
        ++leaves.back().count;
      });
      std::vector<uint8_t> old_px;
      if (!files.px.empty()) old_px = ReadHeaderBytes(env, files.Path(files.px));
      const std::string px = files.px.empty() ? files.BaseName() + ".PX" : files.px;
      out.Replace(px, PrimaryIndexFile(h, leaves, key_size, files.px.empty() ? nullptr : &old_px, px));
    }
    // Every X file, also one whose Y file is lost: the tree is then made anew.
    for (index::IndexFiles idx : index::DiscoverIndexes(env, dir, files.secondary, table.Definition(), table.Codec(), nullptr)) {
      for (const std::string& name : files.secondary)
        if (names::EqualNoCase(name, idx.y_name)) idx.y_name = name;
      format::Header xh = index::ParseHeaderBytes(ReadHeaderBytes(env, dir + "/" + idx.x_name));
      const bool has_y = env.FileExists(dir + "/" + idx.y_name);
      format::Header yh = has_y ? index::ParseHeaderBytes(ReadHeaderBytes(env, dir + "/" + idx.y_name))
                                : index::NewYHeader(h, table.Definition(), idx,
                                                    index::KeyLayout(h, table.Definition().key_field_count, idx, table.Codec()));
      AddIndexImage(out, rows, h, table.Definition(), idx, table.Codec(), h.raw[hdr::kChangeCount1], &xh, &yh);
    }
    out.Commit();
  });
}

}  // namespace tabulor::db::schema_ops
