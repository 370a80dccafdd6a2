#include "db/paradox/storage/paged_file.h"

#include <algorithm>
#include <cstring>

namespace tabulor::db::storage {

PagedFile::PagedFile(std::unique_ptr<File> file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {
  size_ = committed_size_ = file_->Size();
}

std::vector<uint8_t>& PagedFile::CachedPage(uint64_t index) {
  auto it = pages_.find(index);
  if (it != pages_.end()) return it->second;
  std::vector<uint8_t> page(kPageSize, 0);
  file_->ReadAt(index * kPageSize, page.data(), kPageSize);
  return pages_.emplace(index, std::move(page)).first->second;
}

size_t PagedFile::Read(uint64_t offset, void* buf, size_t n) {
  if (offset >= size_) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  auto* out = static_cast<uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    uint64_t pos = offset + done;
    uint64_t index = pos / kPageSize;
    size_t in_page = static_cast<size_t>(pos % kPageSize);
    auto it = pages_.find(index);
    if (it != pages_.end()) {
      size_t take = std::min(n - done, static_cast<size_t>(kPageSize) - in_page);
      std::memcpy(out + done, it->second.data() + in_page, take);
      done += take;
      continue;
    }
    // Read up to the next cached page straight from the file.
    auto next = pages_.upper_bound(index);
    uint64_t limit = next == pages_.end() ? offset + n : std::min<uint64_t>(offset + n, next->first * kPageSize);
    size_t take = static_cast<size_t>(limit - pos);
    size_t got = ReadFile(pos, out + done, take);
    if (got < take) std::memset(out + done + got, 0, take - got);  // a hole left by a write-through
    done += take;
  }
  return n;
}

size_t PagedFile::ReadFile(uint64_t pos, uint8_t* out, size_t n) {
  if (!read_ahead_ || n > kWindow / 8) return file_->ReadAt(pos, out, n);
  const bool forward = last_small_read_ != UINT64_MAX && pos >= last_small_read_ && pos - last_small_read_ < kWindow;
  last_small_read_ = pos;
  if (pos >= window_at_ && pos + n <= window_at_ + window_len_) {
    std::memcpy(out, window_.data() + (pos - window_at_), n);
    return n;
  }
  // A read out of the way of the last ones (a lookup) reads only what it asks.
  if (!forward) return file_->ReadAt(pos, out, n);
  window_.resize(kWindow);
  window_at_ = pos;
  window_len_ = file_->ReadAt(pos, window_.data(), kWindow);
  const size_t got = std::min(n, window_len_);
  std::memcpy(out, window_.data(), got);
  return got;
}

bool PagedFile::SameAsCurrent(uint64_t offset, const void* buf, size_t n) {
  if (offset + n > size_) return false;
  std::vector<uint8_t> current(n);
  Read(offset, current.data(), n);
  return std::memcmp(current.data(), buf, n) == 0;
}

bool PagedFile::WritesThrough(uint64_t index) const {
  if (pages_.count(index)) return false;
  const uint64_t at = index * kPageSize;
  // Past the committed end: a rollback cuts it off, so no need to hold it back.
  if (at >= committed_size_) return true;
  // Inside a unit, a rollback cuts the file back to its size before the unit
  // and restores the pages the journal saved: only a page that still holds
  // on disk what it held before the unit must wait for its flush.
  return in_unit_ && (at >= unit_base_size_ || journaled_pages_.count(index));
}

void PagedFile::Write(uint64_t offset, const void* buf, size_t n) {
  if (n == 0) return;
  // Rewriting bytes with what they already hold changes nothing to journal.
  if (offset + n <= committed_size_ && SameAsCurrent(offset, buf, n)) return;
  if (!changed_) {
    if (before_change_) before_change_();
    changed_ = true;
  }
  const auto* in = static_cast<const uint8_t*>(buf);
  size_t done = 0;
  while (done < n) {
    uint64_t pos = offset + done;
    uint64_t index = pos / kPageSize;
    size_t in_page = static_cast<size_t>(pos % kPageSize);
    size_t take = std::min(n - done, static_cast<size_t>(kPageSize) - in_page);
    if (!WritesThrough(index)) {
      std::vector<uint8_t>& page = CachedPage(index);
      std::memcpy(page.data() + in_page, in + done, take);
    } else {
      size_t run = take;
      while (done + run < n) {
        uint64_t next_index = (offset + done + run) / kPageSize;
        if (!WritesThrough(next_index)) break;
        run += std::min(n - done - run, static_cast<size_t>(kPageSize));
      }
      file_->WriteAt(pos, in + done, run);
      take = run;
    }
    done += take;
  }
  size_ = std::max(size_, offset + n);
}

void PagedFile::Truncate(uint64_t size) {
  if (size == size_) return;
  if (!changed_) {
    if (before_change_) before_change_();
    changed_ = true;
  }
  size_ = size;
  uint64_t first_dropped = (size + kPageSize - 1) / kPageSize;
  pages_.erase(pages_.lower_bound(first_dropped), pages_.end());
  if (size % kPageSize) {
    auto it = pages_.find(size / kPageSize);
    if (it != pages_.end()) std::fill(it->second.begin() + static_cast<long>(size % kPageSize), it->second.end(), 0);
  }
}

void PagedFile::BeginUnit() {
  in_unit_ = true;
  unit_base_size_ = committed_size_;
  journaled_pages_.clear();
}

void PagedFile::EndUnit() {
  in_unit_ = false;
  journaled_pages_.clear();
}

void PagedFile::MarkJournaled(const std::vector<ByteRange>& ranges) {
  if (!in_unit_) return;
  for (const ByteRange& r : ranges)
    for (uint64_t index = r.offset / kPageSize; index * kPageSize < r.offset + r.length; ++index)
      journaled_pages_.insert(index);
}

std::vector<ByteRange> PagedFile::RangesToJournal() const {
  std::vector<ByteRange> ranges;
  if (in_unit_) {
    // Pages the unit already saved keep their first image; pages past the
    // size before the unit are cut off by a rollback. A page not saved yet
    // still holds on disk what it held before the unit: every change of it
    // so far was cached, or written past the end before the unit.
    std::set<uint64_t> pages;
    for (const auto& [index, page] : pages_) pages.insert(index);
    for (uint64_t index = size_ / kPageSize; index * kPageSize < committed_size_; ++index) pages.insert(index);
    for (uint64_t index : pages) {
      uint64_t off = index * kPageSize;
      if (off >= unit_base_size_ || journaled_pages_.count(index)) continue;
      uint64_t len = std::min(kPageSize, unit_base_size_ - off);
      if (!ranges.empty() && ranges.back().offset + ranges.back().length == off) ranges.back().length += len;
      else ranges.push_back({off, len});
    }
    return ranges;
  }
  auto add = [&](uint64_t off, uint64_t len) {
    if (off >= committed_size_ || len == 0) return;
    len = std::min(len, committed_size_ - off);
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == off)
      ranges.back().length += len;
    else
      ranges.push_back({off, len});
  };
  for (const auto& [index, page] : pages_) add(index * kPageSize, kPageSize);
  if (size_ < committed_size_) {
    // Cached pages are listed whole already; list the rest of the cut once.
    for (uint64_t off = size_; off < committed_size_;) {
      uint64_t index = off / kPageSize;
      uint64_t end = std::min(committed_size_, (index + 1) * kPageSize);
      if (!pages_.count(index)) add(off, end - off);
      off = end;
    }
  }
  std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  return ranges;
}

void PagedFile::ReadCommitted(uint64_t offset, void* buf, size_t n) {
  size_t got = file_->ReadAt(offset, buf, n);
  if (got < n) std::memset(static_cast<uint8_t*>(buf) + got, 0, n - got);
}

void PagedFile::WriteBack(bool sync) {
  for (const auto& [index, page] : pages_) {
    uint64_t off = index * kPageSize;
    if (off >= size_) continue;
    size_t len = static_cast<size_t>(std::min<uint64_t>(kPageSize, size_ - off));
    file_->WriteAt(off, page.data(), len);
  }
  if (file_->Size() != size_) file_->Truncate(size_);
  if (sync) {
    file_->Sync();
    unsynced_ = false;
  } else {
    unsynced_ = true;
  }
}

void PagedFile::SyncWritten() {
  if (!unsynced_) return;
  file_->Sync();
  unsynced_ = false;
}

void PagedFile::EndTransaction() {
  pages_.clear();
  size_ = committed_size_ = file_->Size();
  changed_ = false;
}

}  // namespace tabulor::db::storage
