#include "db/paradox/format/header.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "db/paradox/format/bytes.h"

namespace tabulor::db::format {
namespace {

[[noreturn]] void Bad(const std::string& what) { throw std::runtime_error("damaged header: " + what); }

int TableNameLength(int file_version) { return file_version >= 12 ? 261 : 79; }

}  // namespace

bool IsKnownFieldType(uint8_t c) {
  switch (c) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x09: case 0x0C:
    case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x14: case 0x15: case 0x16: case 0x17:
    case 0x18:
      return true;
    default:
      return false;
  }
}

int StoredSize(FieldType type, int size_byte) {
  switch (type) {
    case FieldType::kBcd: return 17;
    case FieldType::kLogical: return 1;
    case FieldType::kShort: return 2;
    case FieldType::kDate: case FieldType::kLong: case FieldType::kTime: case FieldType::kAutoInc: return 4;
    case FieldType::kMoney: case FieldType::kNumber: case FieldType::kTimestamp: return 8;
    default: return size_byte;
  }
}

char TypeLetter(FieldType type) {
  switch (type) {
    case FieldType::kAlpha: return 'A';
    case FieldType::kDate: return 'D';
    case FieldType::kShort: return 'S';
    case FieldType::kLong: return 'I';
    case FieldType::kMoney: return '$';
    case FieldType::kNumber: return 'N';
    case FieldType::kLogical: return 'L';
    case FieldType::kMemo: return 'M';
    case FieldType::kBlob: return 'B';
    case FieldType::kFmtMemo: return 'F';
    case FieldType::kOle: return 'O';
    case FieldType::kGraphic: return 'G';
    case FieldType::kTime: return 'T';
    case FieldType::kTimestamp: return '@';
    case FieldType::kAutoInc: return '+';
    case FieldType::kBcd: return '#';
    case FieldType::kBytes: return 'Y';
  }
  return '?';
}

int Header::SizeFromPrefix(const uint8_t* first4) { return GetLe16(first4 + 2); }

Header Header::Parse(const std::vector<uint8_t>& raw, uint64_t file_size) {
  Header h;
  if (raw.size() < 0x58) Bad("file too short");
  const uint8_t* p = raw.data();
  h.raw = raw;
  h.record_size = GetLe16(p + hdr::kRecordSize);
  h.header_size = GetLe16(p + hdr::kHeaderSize);
  if (h.header_size < 0x58 || static_cast<size_t>(h.header_size) > raw.size()) Bad("header size");
  if (p[hdr::kFileType] > 8) Bad("file type");
  h.file_type = static_cast<FileType>(p[hdr::kFileType]);
  int kb = p[hdr::kBlockSizeKb];
  if (kb < 1 || kb > 32) Bad("block size");
  h.block_size = kb * 1024;
  h.num_records = GetLe32(p + hdr::kNumRecords);
  h.used_blocks = GetLe16(p + hdr::kUsedBlocks);
  h.file_blocks = GetLe16(p + hdr::kFileBlocks);
  h.first_block = GetLe16(p + hdr::kFirstBlock);
  h.last_block = GetLe16(p + hdr::kLastBlock);
  h.index_root = GetLe16(p + hdr::kIndexRoot);
  h.index_levels = p[hdr::kIndexLevels];
  int num_fields = static_cast<int16_t>(GetLe16(p + hdr::kNumFields));
  h.key_fields = static_cast<int16_t>(GetLe16(p + hdr::kKeyFields));
  h.sort_order = p[hdr::kSortOrder];
  h.file_version = p[hdr::kFileVersion];
  h.auto_inc = GetLe32(p + hdr::kAutoInc);
  h.first_free_block = GetLe16(p + hdr::kFirstFreeBlock);
  if (h.file_version < 3 || h.file_version > 15) Bad("file version " + std::to_string(h.file_version));
  if (num_fields < 1 || num_fields > 255) Bad("field count");
  if (h.key_fields < 0 || h.key_fields > num_fields) Bad("key field count");
  if (h.record_size < 1 || h.record_size > h.block_size - 6) Bad("record size");
  if (h.first_block > h.file_blocks || h.last_block > h.file_blocks) Bad("block chain ends");
  uint64_t max_blocks = file_size > static_cast<uint64_t>(h.header_size)
                            ? (file_size - h.header_size + h.block_size - 1) / h.block_size
                            : 0;
  if (static_cast<uint64_t>(h.file_blocks) > max_blocks) Bad("more blocks than the file holds");

  if (h.HasDataHeader() && h.header_size < 0x78) Bad("header size");
  uint32_t enc1 = GetLe32(p + hdr::kEncryption1);
  h.encrypted = h.HasDataHeader() ? GetLe32(p + hdr::kEncryption2) != 0 : (enc1 != 0 && enc1 != 0xFF00FF00u);
  if (h.HasDataHeader()) h.code_page = GetLe16(p + hdr::kCodePage);

  size_t pos = h.HasDataHeader() ? 0x78 : 0x58;
  auto need = [&](size_t n) {
    if (pos + n > static_cast<size_t>(h.header_size)) Bad("field list runs past the header");
  };
  need(2 * static_cast<size_t>(num_fields));
  int offset = 0;
  for (int i = 0; i < num_fields; ++i) {
    uint8_t code = p[pos + 2 * i];
    int size_byte = p[pos + 2 * i + 1];
    if (!IsKnownFieldType(code)) Bad("unknown field type " + std::to_string(code));
    FieldDef f;
    f.type = static_cast<FieldType>(code);
    int stored = StoredSize(f.type, size_byte);
    if (stored <= 0) Bad("field size");
    if (IsBlobType(f.type)) {
      if (size_byte < 10) Bad("blob field size");
      f.size = size_byte - 10;
    } else if (f.type == FieldType::kBcd) {
      if (size_byte > 32) Bad("BCD decimals");
      f.size = size_byte;
    } else {
      f.size = (f.type == FieldType::kAlpha || f.type == FieldType::kBytes) ? size_byte : 0;
    }
    h.fields.push_back(f);
    h.stored_sizes.push_back(stored);
    h.offsets.push_back(offset);
    offset += stored;
  }
  if (h.IsIndexTree()) {
    if (offset + 6 != h.record_size) Bad("index record size");
  } else if (offset != h.record_size) {
    Bad("record size does not match the fields");
  }
  pos += 2 * static_cast<size_t>(num_fields);
  need(4);
  pos += 4;
  if (!h.IsIndexTree()) {
    need(4 * static_cast<size_t>(num_fields));
    pos += 4 * static_cast<size_t>(num_fields);
  }
  size_t name_len = static_cast<size_t>(TableNameLength(h.file_version));
  if (pos + name_len > static_cast<size_t>(h.header_size)) name_len = h.header_size - pos;
  h.table_name.assign(reinterpret_cast<const char*>(p + pos), strnlen(reinterpret_cast<const char*>(p + pos), name_len));
  pos += name_len;
  if (!h.IsIndexTree()) {
    for (int i = 0; i < num_fields; ++i) {
      if (pos >= static_cast<size_t>(h.header_size)) Bad("field names run past the header");
      size_t len = strnlen(reinterpret_cast<const char*>(p + pos), h.header_size - pos);
      if (pos + len >= static_cast<size_t>(h.header_size)) Bad("field name not terminated");
      h.fields[i].name.assign(reinterpret_cast<const char*>(p + pos), len);
      pos += len + 1;
    }
  }
  auto string_at = [&](size_t at) -> std::string {
    if (at >= static_cast<size_t>(h.header_size)) return {};
    return std::string(reinterpret_cast<const char*>(p + at), strnlen(reinterpret_cast<const char*>(p + at), h.header_size - at));
  };
  if (h.HasDataHeader()) {
    size_t numbers_at = 0x58 + static_cast<size_t>(GetLe16(p + hdr::kFieldNumbersOffset));
    if (numbers_at + 2 * static_cast<size_t>(num_fields) <= static_cast<size_t>(h.header_size)) {
      for (int i = 0; i < num_fields; ++i)
        h.field_numbers.push_back(static_cast<int16_t>(GetLe16(p + numbers_at + 2 * i)));
    }
    h.sort_order_id = string_at(0x58 + static_cast<size_t>(GetLe16(p + hdr::kSortOrderIdOffset)));
    if (h.file_type == kCompositeIndexMaintained || h.file_type == kCompositeIndexNonMaintained) {
      uint16_t name_off = GetLe16(p + hdr::kIndexNameOffset);
      if (name_off) h.index_name = string_at(0x58 + static_cast<size_t>(name_off));
    }
  }
  return h;
}

void Header::StoreCounters() {
  uint8_t* p = raw.data();
  PutLe32(p + hdr::kNumRecords, num_records);
  PutLe16(p + hdr::kUsedBlocks, static_cast<uint16_t>(used_blocks));
  PutLe16(p + hdr::kFileBlocks, static_cast<uint16_t>(file_blocks));
  PutLe16(p + hdr::kFirstBlock, static_cast<uint16_t>(first_block));
  PutLe16(p + hdr::kLastBlock, static_cast<uint16_t>(last_block));
  PutLe16(p + hdr::kMaxBlocks, static_cast<uint16_t>(file_blocks));
  PutLe16(p + hdr::kFirstFreeBlock, static_cast<uint16_t>(first_free_block));
  if (IsIndexTree()) {
    PutLe16(p + hdr::kIndexRoot, static_cast<uint16_t>(index_root));
    p[hdr::kIndexLevels] = static_cast<uint8_t>(index_levels);
  } else {
    PutLe32(p + hdr::kAutoInc, auto_inc);
  }
}

uint8_t Header::ChangeCounter() const {
  return raw[IsIndexTree() ? hdr::kIndexChangeCount : hdr::kChangeCount1];
}

void Header::BumpChangeCounter(int by) {
  uint8_t& c = raw[IsIndexTree() ? hdr::kIndexChangeCount : hdr::kChangeCount1];
  c = static_cast<uint8_t>(c + by);
}

uint8_t SortByteFor(const std::string& id) {
  static const struct { const char* id; uint8_t byte; } kDrivers[] = {
      {"ascii", 0x00}, {"intl", 0xB7}, {"intl850", 0x54}, {"nordan", 0x82}, {"nordan40", 0xE6},
      {"swedfin", 0xF0}, {"DBWINUS0", 0x4C}, {"DBWINWE0", 0x40}, {"ANSIINTL", 0x62},
      {"ANSII850", 0x11}, {"BLROM800", 0x14}, {"china", 0x03},
  };
  for (const auto& d : kDrivers)
    if (id == d.id) return d.byte;
  return 0;
}

namespace {

void PutFileVersion(uint8_t* p, int file_version) {
  p[hdr::kFileVersion] = static_cast<uint8_t>(file_version);
}

}  // namespace

std::vector<uint8_t> BuildTableHeader(const NewTableLayout& l) {
  const int n = static_cast<int>(l.fields.size());
  std::vector<uint8_t> raw(0x800, 0);
  uint8_t* p = raw.data();
  int record_size = 0;
  for (const auto& f : l.fields) {
    int size_byte = IsBlobType(f.type) ? f.size + 10 : f.size;
    record_size += StoredSize(f.type, size_byte);
  }
  PutLe16(p + hdr::kRecordSize, static_cast<uint16_t>(record_size));
  PutLe16(p + hdr::kHeaderSize, 0x800);
  p[hdr::kFileType] = l.key_fields > 0 ? kKeyedDb : kUnkeyedDb;
  p[hdr::kBlockSizeKb] = static_cast<uint8_t>(l.block_size_kb);
  PutLe16(p + hdr::kNumFields, static_cast<uint16_t>(n));
  PutLe16(p + hdr::kKeyFields, static_cast<uint16_t>(l.key_fields));
  PutLe32(p + hdr::kEncryption1, 0xFF00FF00u);
  p[hdr::kSortOrder] = SortByteFor(l.sort_order_id);
  p[hdr::kChangeCount1] = 1;
  p[hdr::kChangeCount2] = 1;
  PutFileVersion(p, l.file_version);
  p[0x3E] = 0x1F;
  p[0x3F] = 0x0F;
  p[0x56] = 0x20;
  uint16_t ver_id = static_cast<uint16_t>(0x0100 | (l.file_version >= 12 ? 0x0C : l.file_version >= 10 ? 0x0B : 0x09));
  PutLe16(p + hdr::kFileVerId2, ver_id);
  PutLe16(p + hdr::kFileVerId3, ver_id);
  PutLe32(p + hdr::kUpdateTime, static_cast<uint32_t>(std::time(nullptr)));
  PutLe16(p + hdr::kHiFieldId, static_cast<uint16_t>(n + 1));
  PutLe16(p + hdr::kCodePage, static_cast<uint16_t>(l.code_page));
  p[0x6C] = 1;
  p[0x6D] = 1;

  size_t pos = 0x78;
  for (const auto& f : l.fields) {
    p[pos++] = static_cast<uint8_t>(f.type);
    int size_byte = IsBlobType(f.type) ? f.size + 10 : StoredSize(f.type, f.size);
    if (f.type == FieldType::kBcd) size_byte = f.size;
    p[pos++] = static_cast<uint8_t>(size_byte);
  }
  pos += 4 + 4 * static_cast<size_t>(n);  // pointers the engine keeps in memory
  size_t name_len = static_cast<size_t>(TableNameLength(l.file_version));
  std::memcpy(p + pos, l.table_file_name.data(), std::min(l.table_file_name.size(), name_len - 1));
  pos += name_len;
  for (const auto& f : l.fields) {
    if (pos + f.name.size() + 1 > raw.size()) throw std::runtime_error("field names too long for the header");
    std::memcpy(p + pos, f.name.data(), f.name.size());
    pos += f.name.size() + 1;
  }
  PutLe16(p + hdr::kFieldNumbersOffset, static_cast<uint16_t>(pos - 0x58));
  for (int i = 0; i < n; ++i) {
    PutLe16(p + pos, static_cast<uint16_t>(i + 1));
    pos += 2;
  }
  PutLe16(p + hdr::kSortOrderIdOffset, static_cast<uint16_t>(pos - 0x58));
  std::memcpy(p + pos, l.sort_order_id.data(), l.sort_order_id.size());
  pos += l.sort_order_id.size() + 1;
  if (pos > raw.size()) throw std::runtime_error("header too large");
  PutLe16(p + hdr::kRealHeaderSize, static_cast<uint16_t>(pos));
  return raw;
}

std::vector<uint8_t> BuildPrimaryIndexHeader(const NewTableLayout& l, int index_block_size_kb) {
  std::vector<uint8_t> raw(0x800, 0);
  uint8_t* p = raw.data();
  int key_bytes = 0;
  for (int i = 0; i < l.key_fields; ++i) key_bytes += StoredSize(l.fields[i].type, l.fields[i].size);
  PutLe16(p + hdr::kRecordSize, static_cast<uint16_t>(key_bytes + 6));
  PutLe16(p + hdr::kHeaderSize, 0x800);
  p[hdr::kFileType] = kPrimaryIndex;
  p[hdr::kBlockSizeKb] = static_cast<uint8_t>(index_block_size_kb);
  PutLe16(p + hdr::kIndexRoot, 1);
  PutLe16(p + hdr::kNumFields, static_cast<uint16_t>(l.key_fields));
  p[hdr::kSortOrder] = SortByteFor(l.sort_order_id);
  p[hdr::kIndexChangeCount] = 1;  // equal to the table's 0x2D: freshly built
  PutFileVersion(p, l.file_version);
  size_t pos = 0x58;
  for (int i = 0; i < l.key_fields; ++i) {
    p[pos++] = static_cast<uint8_t>(l.fields[i].type);
    p[pos++] = static_cast<uint8_t>(StoredSize(l.fields[i].type, l.fields[i].size));
  }
  pos += 4;
  size_t name_len = static_cast<size_t>(TableNameLength(l.file_version));
  std::memcpy(p + pos, l.table_file_name.data(), std::min(l.table_file_name.size(), name_len - 1));
  pos += name_len;
  PutLe16(p + hdr::kRealHeaderSize, static_cast<uint16_t>(pos));
  return raw;
}

}  // namespace tabulor::db::format
