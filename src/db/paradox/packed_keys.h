#pragma once
// Index keys of one size held by row id, with their runs of zero bytes
// packed: the text fields of a key are padded with zeros, so a name of 8
// letters in a field of 30 takes 10 bytes rather than 30. A key set again
// leaves its old bytes behind until they outweigh the live ones; then the
// keys are packed afresh. Keys mostly of numbers, whose scattered zeros
// packing would lengthen, are held as they are.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "db/paradox/chunked_array.h"

namespace tabulor::db {

class PackedKeys {
 public:
  PackedKeys(size_t width, bool pack);
  // Holds ids below `n` (a key not set yet reads as zeros).
  void grow(size_t n);
  void clear();
  void Set(size_t id, const uint8_t* key);
  // Unpacks the key of `id` into `out` (width() bytes).
  void Get(size_t id, uint8_t* out) const;
  // The bytes the packed keys take, live or left behind (for the tests).
  size_t PackedBytes() const { return pack_ ? live_ + dead_ : raw_.size() * width_; }

 private:
  static constexpr uint32_t kUnset = UINT32_MAX;
  static constexpr size_t kSlab = 64 * 1024;
  size_t PackedLength(const uint8_t* packed) const;
  // Where `packed_size` bytes go, in the last slab or a new one.
  uint32_t Room(size_t packed_size);
  size_t Pack(const uint8_t* key, uint8_t* out) const;
  const uint8_t* At(uint32_t at) const { return slabs_[at / kSlab].get() + at % kSlab; }
  void Repack();

  size_t width_;
  bool pack_;
  ChunkedBytes raw_;           // the keys as they are, when not packed
  ChunkedArray<uint32_t> at_;  // where the packed key of each id starts; kUnset: zeros
  std::vector<std::unique_ptr<uint8_t[]>> slabs_;
  size_t used_ = kSlab;  // bytes used in the last slab
  size_t live_ = 0, dead_ = 0;
  std::vector<uint8_t> packing_;  // the key being packed
};

}  // namespace tabulor::db
