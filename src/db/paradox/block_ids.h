#pragma once
// The ids of the rows of one block, in their order. The rows of a block read
// from the file, and rows appended one after the other, carry consecutive
// ids: such a block keeps only the first id and the count. A row inserted
// or deleted anywhere else makes the block spell its ids out. Memory: 16
// bytes a block, and the spelled-out list when there is one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace tabulor::db {

using RowId = uint32_t;

class BlockIds {
 public:
  size_t size() const { return list_ ? list_->size() : count_; }
  // Whether the ids are a first id and a count rather than a list.
  bool Consecutive() const { return !list_; }
  // The first id when Consecutive() (the next id to come when empty).
  RowId First() const { return first_; }
  bool empty() const { return size() == 0; }
  RowId operator[](size_t i) const { return list_ ? (*list_)[i] : first_ + static_cast<RowId>(i); }
  // `count` consecutive ids from `first`.
  void Assign(RowId first, size_t count) {
    first_ = first;
    count_ = static_cast<uint32_t>(count);
    list_.reset();
  }
  void Insert(size_t at, RowId id) {
    if (!list_ && at == count_ && (count_ == 0 || id == first_ + count_)) {
      if (count_ == 0) first_ = id;
      ++count_;
      return;
    }
    SpellOut();
    list_->insert(list_->begin() + static_cast<std::ptrdiff_t>(at), id);
  }
  // Removes the id at `at` and returns it.
  RowId Erase(size_t at) {
    const RowId id = (*this)[at];
    if (!list_ && (at + 1 == count_ || at == 0)) {
      if (at == 0) ++first_;
      --count_;
      return id;
    }
    SpellOut();
    list_->erase(list_->begin() + static_cast<std::ptrdiff_t>(at));
    return id;
  }
  // The ids from `keep` on leave this block for the one returned.
  BlockIds SplitOff(size_t keep) {
    BlockIds rest;
    if (!list_) {
      rest.Assign(first_ + static_cast<RowId>(keep), count_ - keep);
      count_ = static_cast<uint32_t>(keep);
      return rest;
    }
    rest.list_ = std::make_unique<std::vector<RowId>>(list_->begin() + static_cast<std::ptrdiff_t>(keep), list_->end());
    list_->resize(keep);
    return rest;
  }

 private:
  void SpellOut() {
    if (list_) return;
    list_ = std::make_unique<std::vector<RowId>>(count_);
    std::iota(list_->begin(), list_->end(), first_);
  }
  RowId first_ = 0;     // when not spelled out
  uint32_t count_ = 0;  // when not spelled out
  std::unique_ptr<std::vector<RowId>> list_;  // when spelled out
};

}  // namespace tabulor::db
