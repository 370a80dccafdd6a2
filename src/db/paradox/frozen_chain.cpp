#include "db/paradox/frozen_chain.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

#include "db/paradox/error.h"
#include "db/paradox/format/bytes.h"

namespace tabulor::db {
namespace {
constexpr size_t kPageBytes = 4096;
}  // namespace

FrozenChain::FrozenChain(int key_size, const std::string& table)
    : key_size_(static_cast<size_t>(key_size)),
      record_size_(9 + key_size_),
      per_page_(kPageBytes / record_size_),
      table_(table),
      last_key_(key_size_) {
  file_ = std::tmpfile();
  if (!file_) throw EngineError("no temporary file for the blocks of " + table_, table_);
}

FrozenChain::~FrozenChain() {
  if (file_) std::fclose(file_);
}

void FrozenChain::Append(uint16_t number, int rows, const uint8_t* first_key) {
  if (first_key) {
    std::memcpy(last_key_.data(), first_key, key_size_);
    has_key_ = true;
  }
  page_.resize(page_.size() + record_size_, 0);
  uint8_t* r = page_.data() + page_.size() - record_size_;
  format::PutLe16(r, number);
  format::PutLe16(r + 2, static_cast<uint16_t>(rows));
  format::PutLe32(r + 4, next_id_);
  r[8] = has_key_;
  if (has_key_) std::memcpy(r + 9, last_key_.data(), key_size_);
  if (count_ % per_page_ == 0) {
    page_ids_.push_back(next_id_);
    page_keys_.insert(page_keys_.end(), r + 8, r + record_size_);
    ++page_count_;
  }
  next_id_ += static_cast<RowId>(rows);
  ++count_;
  if (page_.size() == per_page_ * record_size_) WritePage();
}

void FrozenChain::WritePage() {
  if (page_.empty()) return;
  page_.resize(kPageBytes, 0);
  if (std::fwrite(page_.data(), 1, page_.size(), file_) != page_.size())
    throw EngineError("writing the temporary file of the blocks of " + table_ + " failed", table_);
  page_.clear();
}

void FrozenChain::Finish() {
  WritePage();
  if (std::fflush(file_) != 0) throw EngineError("writing the temporary file of the blocks of " + table_ + " failed", table_);
  std::vector<uint8_t>().swap(page_);
  page_ids_.shrink_to_fit();
  page_keys_.shrink_to_fit();
}

const uint8_t* FrozenChain::Record(size_t i) const {
  const size_t page = i / per_page_;
  auto at = std::find_if(held_.rbegin(), held_.rend(), [&](const Held& h) { return h.page == page; });
  if (at == held_.rend()) {
    if (held_.size() == kHeldPages) held_.erase(held_.begin());
    held_.push_back({page, std::vector<uint8_t>(kPageBytes)});
    const ssize_t got = ::pread(fileno(file_), held_.back().bytes.data(), kPageBytes, static_cast<off_t>(page * kPageBytes));
    if (got != static_cast<ssize_t>(kPageBytes)) {
      held_.pop_back();
      throw EngineError("reading the temporary file of the blocks of " + table_ + " failed", table_);
    }
  } else if (at != held_.rbegin()) {
    const auto found = std::prev(at.base());
    std::rotate(found, found + 1, held_.end());
  }
  return held_.back().bytes.data() + (i % per_page_) * record_size_;
}

uint16_t FrozenChain::Number(int i) const { return format::GetLe16(Record(static_cast<size_t>(i))); }

int FrozenChain::Rows(int i) const { return format::GetLe16(Record(static_cast<size_t>(i)) + 2); }

RowId FrozenChain::FirstId(int i) const { return format::GetLe32(Record(static_cast<size_t>(i)) + 4); }

const uint8_t* FrozenChain::KeyAt(int i) const {
  const uint8_t* r = Record(static_cast<size_t>(i));
  return r[8] ? r + 9 : nullptr;
}

int FrozenChain::BlockOf(RowId id) const {
  if (id >= next_id_) return -1;
  // The last page, then the last block, whose first id is not above `id`.
  const size_t page = static_cast<size_t>(std::upper_bound(page_ids_.begin(), page_ids_.end(), id) - page_ids_.begin()) - 1;
  size_t lo = page * per_page_, hi = std::min(count_, lo + per_page_);
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    if (FirstId(static_cast<int>(mid)) <= id) lo = mid;
    else hi = mid;
  }
  // Blocks without rows share their first id with the next one: the row is in the last of them.
  return static_cast<int>(lo);
}

}  // namespace tabulor::db
