#pragma once
// Field types, values and table definitions of the Paradox engine.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "db/common/datetime.h"

namespace tabulor::db {

// The on-disk type codes of Paradox field descriptors.
enum class FieldType : uint8_t {
  kAlpha = 0x01,      // A(n)
  kDate = 0x02,       // D
  kShort = 0x03,      // S
  kLong = 0x04,       // I
  kMoney = 0x05,      // $
  kNumber = 0x06,     // N
  kLogical = 0x09,    // L
  kMemo = 0x0C,       // M(n)
  kBlob = 0x0D,       // B(n)
  kFmtMemo = 0x0E,    // F(n)
  kOle = 0x0F,        // O(n)
  kGraphic = 0x10,    // G(n)
  kTime = 0x14,       // T
  kTimestamp = 0x15,  // @
  kAutoInc = 0x16,    // +
  kBcd = 0x17,        // #(decimals)
  kBytes = 0x18,      // Y(n)
};

bool IsBlobType(FieldType t);  // M B F O G

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kAlpha;
  // Declared size: characters for A, bytes for Y, the leader kept in the row
  // for M B F O G (the row holds size + 10 bytes), decimals for #; ignored otherwise.
  int size = 0;
};

struct IndexDef {
  std::string name;                 // empty for the primary index
  std::vector<std::string> fields;  // in order
  bool primary = false;
  bool unique = false;
  bool case_insensitive = false;
  bool descending = false;
  bool maintained = true;
};

struct TableDef {
  std::vector<FieldDef> fields;
  int key_field_count = 0;          // leading fields forming the primary key; 0 = unkeyed
  std::vector<IndexDef> indexes;    // secondary indexes
  int block_size_kb = 2;
  int file_version = 12;            // header byte 0x39: 12 = Paradox 7
  std::string sort_order = "ANSIINTL";
  int code_page = 1252;
};

// A field's value. Text is UTF-8; blobs are bytes.
using Blob = std::vector<uint8_t>;
using Value = std::variant<std::monostate, std::string, int64_t, double, bool, DateTime, Blob>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace tabulor::db
