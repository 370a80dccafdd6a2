#pragma once
// An array that grows a chunk at a time: appending never copies what it
// holds, so a table's per-row bookkeeping takes its size and not, while it
// grows, up to three times that (the old and the new buffer of a vector).
#include <cstddef>
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

}  // namespace tabulor::db
