#pragma once
// An array that grows a chunk at a time: appending never copies what it
// holds, so a table's per-row bookkeeping takes its size and not, while it
// grows, up to three times that (the old and the new buffer of a vector).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tabulor::db {

template <typename T, size_t kChunk = 4096>
class ChunkedArray {
 public:
  size_t size() const { return size_; }
  T& operator[](size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const T& operator[](size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  void push_back(const T& v) {
    if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
    chunks_[size_ / kChunk][size_ % kChunk] = v;
    ++size_;
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t size_ = 0;
};

// Records of `width` bytes by number, grown a chunk at a time as ChunkedArray
// is; records added by a growth are zeros.
class ChunkedBytes {
 public:
  static constexpr size_t kChunk = 4096;
  explicit ChunkedBytes(size_t width = 0) : width_(width) {}
  size_t size() const { return size_; }
  uint8_t* operator[](size_t i) { return chunks_[i / kChunk].get() + (i % kChunk) * width_; }
  const uint8_t* operator[](size_t i) const { return chunks_[i / kChunk].get() + (i % kChunk) * width_; }
  // Grows to `n` records (never shrinks).
  void grow(size_t n) {
    if (n <= size_) return;
    const size_t chunks = (n + kChunk - 1) / kChunk;
    const size_t held = chunks_.size();
    chunks_.resize(chunks);
    for (size_t c = held; c < chunks; ++c) chunks_[c] = std::make_unique<uint8_t[]>(kChunk * width_);  // zeroed
    size_ = n;
  }
  void clear() {
    chunks_.clear();
    size_ = 0;
  }

 private:
  size_t width_;
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  size_t size_ = 0;
};

}  // namespace tabulor::db
