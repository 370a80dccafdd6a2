#pragma once
// The 6-byte header of a data or index block, and where block n lives.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "db/paradox/format/bytes.h"

namespace tabulor::db::format {

struct BlockHeader {
  uint16_t next = 0;            // 0: last of the chain
  uint16_t prev = 0;            // 0: first of the chain
  int16_t add_data_size = 0;    // (records - 1) * record size

  static constexpr int kSize = 6;
  static BlockHeader Parse(const uint8_t* p) {
    return {GetLe16(p), GetLe16(p + 2), static_cast<int16_t>(GetLe16(p + 4))};
  }
  void Store(uint8_t* p) const {
    PutLe16(p, next);
    PutLe16(p + 2, prev);
    PutLe16(p + 4, static_cast<uint16_t>(add_data_size));
  }
  // Records in the block, or -1 when the size field is not a whole number of records.
  int RecordCount(int record_size) const {
    int v = add_data_size + record_size;
    if (v < 0 || v % record_size) return -1;
    return v / record_size;
  }
  static int16_t SizeFor(int records, int record_size) {
    return static_cast<int16_t>((records - 1) * record_size);
  }
};

// Block numbers are 16 bits: a file holds at most this many blocks.
constexpr int kMaxBlocks = 0xFFFF;

// Throws when a file would need more blocks than 16-bit numbers reach; a
// builder calls it before it makes room for the blocks.
inline void RequireBlockCount(int count) {
  if (count > kMaxBlocks)
    throw std::runtime_error("the file would need " + std::to_string(count) + " blocks, a table file holds at most " +
                             std::to_string(kMaxBlocks));
}
// The header of block `number` of a file built whole, whose blocks 1..count
// form one chain in that order, holding `records` records. Every builder lays
// its blocks out through here, so none can wrap a block number past 16 bits.
inline BlockHeader ChainedBlockHeader(int number, int count, int records, int record_size) {
  RequireBlockCount(count);
  return {static_cast<uint16_t>(number < count ? number + 1 : 0), static_cast<uint16_t>(number - 1),
          BlockHeader::SizeFor(records, record_size)};
}

inline uint64_t BlockOffset(int header_size, int block_size, int number) {
  return static_cast<uint64_t>(header_size) + static_cast<uint64_t>(number - 1) * block_size;
}

}  // namespace tabulor::db::format
