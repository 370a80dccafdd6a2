#include "db/paradox/index/index_layout.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>

#include "db/paradox/env.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/names.h"

namespace tabulor::db::index {
namespace {

bool IsXName(const std::string& name) { return name.size() > 3 && (name[name.size() - 3] | 0x20) == 'x'; }

std::string Hex2(int n) {
  static const char* kDigits = "0123456789ABCDEF";
  return {kDigits[(n >> 4) & 15], kDigits[n & 15]};
}

}  // namespace

KeyLayout::KeyLayout(const format::Header& table, int table_key_fields, const IndexFiles& index,
                     const format::CodePage& cp)
    : fold_(cp), maintained_(index.def.maintained), index_fields_(index.fields), table_key_fields_(table_key_fields) {
  for (size_t k = 0; k < index.fields.size(); ++k) {
    const int f = index.fields[k];
    const bool alpha = table.fields[f].type == FieldType::kAlpha;
    parts_.push_back({table.offsets[f], table.stored_sizes[f], alpha && index.def.case_insensitive,
                      k < index.descending.size() && index.descending[k]});
    indexed_size_ += table.stored_sizes[f];
    if (alpha) text_size_ += table.stored_sizes[f];
  }
  if (maintained_) {
    for (int f = 0; f < table_key_fields; ++f) {
      parts_.push_back({table.offsets[f], table.stored_sizes[f], false, false});
      key_size_ += table.stored_sizes[f];
    }
    key_size_ += indexed_size_;
    key_field_count_ = static_cast<int>(index.fields.size()) + table_key_fields;
    record_size_ = key_size_ + 2;  // Blk Num
  } else {
    // Tup No (I) and Blk Num (S) belong to the key; Tup Offset (S) follows.
    key_size_ = indexed_size_ + 4 + 2;
    key_field_count_ = static_cast<int>(index.fields.size()) + 2;
    record_size_ = key_size_ + 2;
  }
}

void KeyLayout::MakeRecord(const RowRef& row, int64_t tuple_number, uint8_t* out) const {
  uint8_t* p = out;
  for (const Part& part : parts_) {
    std::memcpy(p, row.record + part.from, static_cast<size_t>(part.size));
    if (part.fold) fold_.UpperInPlace(p, part.size);
    p += part.size;
  }
  if (!maintained_) {
    format::EncodeInt(p, 4, tuple_number);
    p += 4;
  }
  format::EncodeInt(p, 2, row.block);
  p += 2;
  if (!maintained_) format::EncodeInt(p, 2, row.slot);
}

std::vector<uint8_t> KeyLayout::IndexedPart(const uint8_t* table_record) const {
  std::vector<uint8_t> out(static_cast<size_t>(indexed_size_));
  IndexedPart(table_record, out.data());
  return out;
}

void KeyLayout::IndexedPart(const uint8_t* table_record, uint8_t* out) const {
  for (size_t k = 0; k < index_fields_.size(); ++k) {
    const Part& part = parts_[k];
    std::memcpy(out, table_record + part.from, static_cast<size_t>(part.size));
    if (part.fold) fold_.UpperInPlace(out, part.size);
    out += part.size;
  }
}

int KeyLayout::Compare(const uint8_t* a, const uint8_t* b, int n) const {
  int at = 0;
  for (const Part& part : parts_) {
    if (at >= n) return 0;
    const int len = std::min(part.size, n - at);
    int c = std::memcmp(a + at, b + at, static_cast<size_t>(len));
    if (c) return part.descending ? -c : c;
    at += part.size;
  }
  if (at < n) return std::memcmp(a + at, b + at, static_cast<size_t>(n - at));
  return 0;
}

int KeyLayout::CompareRecord(const uint8_t* table_record, const uint8_t* key, int n) const {
  int at = 0;
  for (size_t k = 0; k < index_fields_.size() && at < n; ++k) {
    const Part& part = parts_[k];
    const int len = std::min(part.size, n - at);
    const uint8_t* a = table_record + part.from;
    const uint8_t* b = key + at;
    int c = 0;
    if (part.fold) {
      for (int i = 0; i < len && c == 0; ++i) c = static_cast<int>(fold_.Upper(a[i])) - static_cast<int>(b[i]);
    } else {
      c = std::memcmp(a, b, static_cast<size_t>(len));
    }
    if (c) return part.descending ? -c : c;
    at += part.size;
  }
  return 0;
}

std::vector<FieldDef> KeyLayout::XFields(const TableDef& def) const {
  std::vector<FieldDef> out;
  for (int f : index_fields_) out.push_back(def.fields[f]);
  if (maintained_) {
    for (int f = 0; f < table_key_fields_; ++f) {
      FieldDef key = def.fields[f];
      out.push_back(key);
    }
    out.push_back({"Blk Num", FieldType::kShort, 0});
  } else {
    out.push_back({"Tup No", FieldType::kLong, 0});
    out.push_back({"Blk Num", FieldType::kShort, 0});
    out.push_back({"Tup Offset", FieldType::kShort, 0});
  }
  return out;
}

std::vector<IndexFiles> DiscoverIndexes(Env& env, const std::string& directory, const std::vector<std::string>& side_files,
                                        const TableDef& table, const format::CodePage& cp,
                                        std::vector<std::string>* problems) {
  std::vector<IndexFiles> out;
  for (const std::string& name : side_files) {
    if (!IsXName(name)) continue;
    try {
      auto f = env.Open(directory + "/" + name, OpenMode::kRead);
      uint8_t prefix[4] = {};
      if (f->ReadAt(0, prefix, 4) < 4) throw std::runtime_error("the file is empty");
      std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
      raw.resize(f->ReadAt(0, raw.data(), raw.size()));
      format::Header h = format::Header::Parse(raw, f->Size());
      using format::FileType;
      const bool maintained = h.file_type == format::kSecondaryIndexMaintained ||
                              h.file_type == format::kCompositeIndexMaintained;
      const bool composite = h.file_type == format::kCompositeIndexMaintained ||
                             h.file_type == format::kCompositeIndexNonMaintained;
      if (!maintained && !composite && h.file_type != format::kSecondaryIndexNonMaintained)
        throw std::runtime_error("not a secondary index file");
      int indexed = maintained ? h.key_fields - table.key_field_count : static_cast<int>(h.fields.size()) - 3;
      if (indexed < 1 || indexed > static_cast<int>(h.fields.size())) throw std::runtime_error("bad key field count");
      IndexFiles idx;
      idx.x_name = name;
      idx.y_name = name;
      idx.y_name[name.size() - 3] = name[name.size() - 3] == 'X' ? 'Y' : 'y';
      for (int i = 0; i < indexed; ++i) {
        const std::string field_name = cp.ToUtf8(h.fields[i].name);
        int pos = -1;
        for (size_t t = 0; t < table.fields.size() && pos < 0; ++t)
          if (names::EqualNoCase(table.fields[t].name, field_name)) pos = static_cast<int>(t);
        const int number = i < static_cast<int>(h.field_numbers.size()) ? (h.field_numbers[i] & 0x7FFF) : 0;
        if (pos < 0 && number >= 1 && number <= static_cast<int>(table.fields.size())) pos = number - 1;
        if (pos < 0) throw std::runtime_error("indexes a field the table does not have: " + field_name);
        idx.fields.push_back(pos);
        idx.def.fields.push_back(table.fields[pos].name);
        idx.descending.push_back(i < static_cast<int>(h.field_numbers.size()) && (h.field_numbers[i] & 0x8000));
      }
      const uint8_t options = h.raw[0x55];
      idx.def.name = composite ? cp.ToUtf8(h.index_name) : idx.def.fields.front();
      idx.def.case_insensitive = options & 0x01;
      idx.def.descending = options & 0x10;
      idx.def.unique = options & 0x20;
      idx.def.maintained = maintained;
      out.push_back(std::move(idx));
    } catch (const std::exception& e) {
      if (problems) problems->push_back("secondary index " + name + ": " + e.what());
    }
  }
  return out;
}

void ChooseFileNames(const std::string& base, const std::vector<std::string>& taken, IndexFiles& index) {
  std::set<std::string> used;
  for (const std::string& t : taken) used.insert(names::Upper(t));
  const bool named_after_field = index.fields.size() == 1 && !index.def.case_insensitive &&
                                 names::EqualNoCase(index.def.name, index.def.fields.front());
  if (named_after_field) {
    const std::string number = Hex2(index.fields.front() + 1);
    if (!used.count(names::Upper(base + ".X" + number))) {
      index.x_name = base + ".X" + number;
      index.y_name = base + ".Y" + number;
      return;
    }
  }
  // Named indexes take G0..G9, then GA..GZ.
  static const std::string kSuffixes = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (char c : kSuffixes) {
    std::string x = base + ".XG" + c;
    if (used.count(names::Upper(x))) continue;
    index.x_name = x;
    index.y_name = base + ".YG" + c;
    return;
  }
  throw std::runtime_error("the table has no free index file name left");
}

}  // namespace tabulor::db::index
