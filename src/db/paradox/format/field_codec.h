#pragma once
// Values of the fields inside a record: big-endian with the sign bit turned so
// that keys compare with memcmp; all zero bytes are a blank (null) value.
#include <cstdint>
#include <string>
#include <string_view>

#include "db/paradox/format/codepage.h"
#include "db/paradox/types.h"

namespace tabulor::db::format {

// The part of a blob field kept in the record.
struct BlobLeader {
  uint32_t offset_index = 0;  // .MB offset with the slot index (0xFF: single block) in the low byte
  uint32_t length = 0;
  uint16_t mod_nr = 0;
  bool IsBlank() const { return offset_index == 0 && length == 0 && mod_nr == 0; }
  bool IsExternal() const { return offset_index != 0; }
};
BlobLeader ReadBlobLeader(const uint8_t* field, int stored_size);
void WriteBlobLeader(uint8_t* field, int stored_size, const BlobLeader& leader);

bool IsBlankField(const uint8_t* field, int stored_size);

// Decodes a non-blob field. A text (A) is converted from the code page; a Y
// field gives its bytes; # gives its decimal text.
Value DecodeField(FieldType type, const uint8_t* field, int stored_size, const CodePage& cp);

// Encodes a value already converted to the field's own kind: std::string
// (A: UTF-8, #: decimal text), int64_t, double, bool, DateTime, Blob (Y).
// Throws std::invalid_argument when the value does not fit.
void EncodeField(FieldType type, const Value& v, uint8_t* field, int stored_size, int decimals,
                 const CodePage& cp);

// Raw number codecs (shared with the index code).
int64_t DecodeInt(const uint8_t* p, int n);
void EncodeInt(uint8_t* p, int n, int64_t v);
double DecodeDouble(const uint8_t* p);
void EncodeDouble(uint8_t* p, double v);
std::string DecodeBcd(const uint8_t* p);
void EncodeBcd(uint8_t* p, int decimals, std::string_view decimal_text);

}  // namespace tabulor::db::format
