#include "db/paradox/packed_keys.h"

#include <cstring>
#include <stdexcept>

namespace tabulor::db {

// A key packs as its bytes, each run of zeros (up to 255 of them) as a zero
// and the run's length.
PackedKeys::PackedKeys(size_t width, bool pack)
    : width_(width), pack_(pack), raw_(pack ? 0 : width), packing_(pack ? 2 * width + 2 : 0) {}

void PackedKeys::grow(size_t n) {
  if (!pack_) return raw_.grow(n);
  while (at_.size() < n) at_.push_back(kUnset);
}

void PackedKeys::clear() {
  raw_.clear();
  at_ = {};
  slabs_.clear();
  used_ = kSlab;
  live_ = dead_ = 0;
}

size_t PackedKeys::Pack(const uint8_t* key, uint8_t* out) const {
  size_t n = 0;
  for (size_t i = 0; i < width_;) {
    if (key[i] != 0) {
      out[n++] = key[i++];
      continue;
    }
    size_t run = 1;
    while (i + run < width_ && key[i + run] == 0 && run < 255) ++run;
    out[n++] = 0;
    out[n++] = static_cast<uint8_t>(run);
    i += run;
  }
  return n;
}

size_t PackedKeys::PackedLength(const uint8_t* packed) const {
  size_t n = 0;
  for (size_t unpacked = 0; unpacked < width_;) {
    if (packed[n] != 0) {
      ++unpacked;
      ++n;
    } else {
      unpacked += packed[n + 1];
      n += 2;
    }
  }
  return n;
}

void PackedKeys::Get(size_t id, uint8_t* out) const {
  if (!pack_) {
    if (id < raw_.size()) std::memcpy(out, raw_[id], width_);
    else std::memset(out, 0, width_);
    return;
  }
  const uint32_t at = id < at_.size() ? at_[id] : kUnset;
  if (at == kUnset) {
    std::memset(out, 0, width_);
    return;
  }
  const uint8_t* p = At(at);
  for (size_t o = 0; o < width_;) {
    const uint8_t b = *p++;
    if (b != 0) {
      out[o++] = b;
    } else {
      const uint8_t run = *p++;
      std::memset(out + o, 0, run);
      o += run;
    }
  }
}

uint32_t PackedKeys::Room(size_t packed_size) {
  if (used_ + packed_size > kSlab) {
    if ((slabs_.size() + 1) * kSlab > kUnset) throw std::length_error("too many index keys to hold");
    slabs_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kSlab));
    used_ = 0;
  }
  const uint32_t at = static_cast<uint32_t>((slabs_.size() - 1) * kSlab + used_);
  used_ += packed_size;
  return at;
}

void PackedKeys::Set(size_t id, const uint8_t* key) {
  grow(id + 1);
  if (!pack_) {
    std::memcpy(raw_[id], key, width_);
    return;
  }
  const size_t n = Pack(key, packing_.data());
  if (at_[id] != kUnset) {
    const size_t old = PackedLength(At(at_[id]));
    // A row changed elsewhere than in its key keeps its bytes.
    if (old == n && std::memcmp(At(at_[id]), packing_.data(), n) == 0) return;
    live_ -= old;
    dead_ += old;
  }
  const uint32_t at = Room(n);
  std::memcpy(slabs_[at / kSlab].get() + at % kSlab, packing_.data(), n);
  at_[id] = at;
  live_ += n;
  if (dead_ > live_ && dead_ > kSlab) Repack();
}

void PackedKeys::Repack() {
  std::vector<std::unique_ptr<uint8_t[]>> old;
  old.swap(slabs_);
  used_ = kSlab;
  live_ = dead_ = 0;
  for (size_t id = 0; id < at_.size(); ++id) {
    const uint32_t from = at_[id];
    if (from == kUnset) continue;
    const uint8_t* packed = old[from / kSlab].get() + from % kSlab;
    const size_t n = PackedLength(packed);
    const uint32_t to = Room(n);
    std::memcpy(slabs_[to / kSlab].get() + to % kSlab, packed, n);
    at_[id] = to;
    live_ += n;
  }
}

}  // namespace tabulor::db
