#pragma once
// The header of a .DB/.PX/.Xnn/.Ynn file: the fixed part, the field list and
// the names. The raw bytes are kept so that a rewrite changes only the counters
// that must change and leaves every unknown byte as the original engine wrote it.
#include <cstdint>
#include <string>
#include <vector>

#include "db/paradox/types.h"

namespace tabulor::db::format {

enum FileType : uint8_t {
  kKeyedDb = 0,
  kPrimaryIndex = 1,
  kUnkeyedDb = 2,
  kSecondaryIndexNonMaintained = 3,
  kSecondaryIndexTree = 4,
  kSecondaryIndexMaintained = 5,
  kCompositeIndexNonMaintained = 6,
  kCompositeIndexTree = 7,
  kCompositeIndexMaintained = 8,
};

// Offsets of the fixed header part.
namespace hdr {
constexpr int kRecordSize = 0x00, kHeaderSize = 0x02, kFileType = 0x04, kBlockSizeKb = 0x05,
              kNumRecords = 0x06, kUsedBlocks = 0x0A, kFileBlocks = 0x0C, kFirstBlock = 0x0E,
              kLastBlock = 0x10, kIndexFieldNumber = 0x15, kIndexRoot = 0x1E, kIndexLevels = 0x20,
              kNumFields = 0x21, kKeyFields = 0x23, kEncryption1 = 0x25, kSortOrder = 0x29,
              kIndexChangeCount = 0x2C, kChangeCount1 = 0x2D, kChangeCount2 = 0x2E,
              kFileVersion = 0x39, kMaxBlocks = 0x3A, kAutoInc = 0x49, kFirstFreeBlock = 0x4D,
              kRealHeaderSize = 0x51, kFileVerId2 = 0x58, kFileVerId3 = 0x5A, kEncryption2 = 0x5C,
              kUpdateTime = 0x60, kHiFieldId = 0x64, kFieldNumbersOffset = 0x66,
              kIndexNameOffset = 0x68, kCodePage = 0x6A, kSortOrderIdOffset = 0x6E;
}

// Bytes a field of this type takes in the record, for the descriptor's size byte.
int StoredSize(FieldType type, int size_byte);
bool IsKnownFieldType(uint8_t code);
char TypeLetter(FieldType type);

struct Header {
  std::vector<uint8_t> raw;  // headerSize bytes

  int record_size = 0;
  int header_size = 0;
  FileType file_type = kUnkeyedDb;
  int block_size = 0;  // bytes
  uint32_t num_records = 0;
  int used_blocks = 0;
  int file_blocks = 0;
  int first_block = 0;
  int last_block = 0;
  int index_root = 0;
  int index_levels = 0;
  int key_fields = 0;
  int sort_order = 0;
  int file_version = 0;
  uint32_t auto_inc = 0;
  int first_free_block = 0;
  int code_page = 0;
  bool encrypted = false;

  std::vector<FieldDef> fields;
  std::vector<int> stored_sizes;   // bytes in the record, per field
  std::vector<int> offsets;        // offset in the record, per field
  std::vector<int16_t> field_numbers;
  std::string table_name;          // as recorded in the header (often stale)
  std::string sort_order_id;       // language driver
  std::string index_name;          // .XGn only

  bool IsIndexTree() const { return file_type == kPrimaryIndex || file_type == kSecondaryIndexTree ||
                                    file_type == kCompositeIndexTree; }
  bool HasDataHeader() const { return file_version >= 5 && !IsIndexTree(); }

  // Parses and checks the header of a file of `file_size` bytes. Field names
  // are left in the table's code page; the caller converts them.
  // Throws std::runtime_error describing what is wrong.
  static Header Parse(const std::vector<uint8_t>& raw, uint64_t file_size);
  // How many bytes must be read to parse the header (from its first 4 bytes).
  static int SizeFromPrefix(const uint8_t* first4);

  // Writes the counters held in the fields above back into `raw`.
  void StoreCounters();
  // Adds `by` to the change counter (0x2D for tables, 0x2C for index trees).
  void BumpChangeCounter(int by = 1);
  uint8_t ChangeCounter() const;
};

// Header bytes for a new table family. Field names are given in the table's code page.
struct NewTableLayout {
  std::vector<FieldDef> fields;       // names already in the code page
  int key_fields = 0;
  int block_size_kb = 2;
  int file_version = 12;
  int code_page = 1252;
  std::string sort_order_id = "ANSIINTL";
  std::string table_file_name;        // recorded in the header
};
std::vector<uint8_t> BuildTableHeader(const NewTableLayout& layout);
std::vector<uint8_t> BuildPrimaryIndexHeader(const NewTableLayout& layout, int index_block_size_kb);

// The language-driver sort byte for a sortOrderID string (0 when unknown).
uint8_t SortByteFor(const std::string& sort_order_id);

}  // namespace tabulor::db::format
