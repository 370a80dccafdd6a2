#include "db/paradox/format/blob_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

#include "db/paradox/format/bytes.h"

namespace tabulor::db::format {
namespace {

constexpr uint32_t kChunk = 16;
constexpr uint32_t kFirstDataChunk = 21;  // right after the 64 slot entries
constexpr uint32_t kChunksPerBlock = BlobFile::kUnit / kChunk;
constexpr int kSlotTable = 12;
constexpr int kFreeTable = 0x38;
constexpr int kFreeTableEntries = 673;
constexpr uint32_t kMaxRunUnits = 0xFFFF;
// 8 bytes a block kept, and 4 more in its list by room: 48 KiB at most.
std::atomic<size_t> rooms_kept{4096};

[[noreturn]] void Bad(const std::string& what) { throw std::runtime_error("damaged blob file: " + what); }

uint32_t SlotLength(const uint8_t* s) { return s[1] == 0 ? 0 : (s[1] - 1u) * kChunk + s[4]; }

}  // namespace

std::vector<uint8_t> BlobFile::NewFileHeader() {
  std::vector<uint8_t> h(kUnit, 0);
  PutLe16(&h[0x01], 1);
  PutLe16(&h[0x03], 1);
  const uint8_t fixed[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
  std::memcpy(&h[0x05], fixed, sizeof fixed);
  PutLe16(&h[0x0B], 0x1000);
  PutLe16(&h[0x0D], 0x1000);
  h[0x10] = 0x10;
  PutLe16(&h[0x11], 0x0040);
  PutLe16(&h[0x13], 0x0800);
  PutLe16(&h[0x29], kFreeTableEntries);
  return h;
}

size_t BlobFile::SetRoomsKept(size_t rooms) { return rooms_kept.exchange(std::max<size_t>(rooms, 1)); }

size_t BlobFile::RoomsKept() { return rooms_kept; }

BlobFile::BlobFile(storage::PagedFile* file, bool writable)
    : file_(file), writable_(writable), by_longest_(writable ? kChunksPerBlock : 0) {
  uint64_t size = file_->Size();
  if (size < kUnit) Bad("no header");
  if (size > 0xFFFFFFFFull) Bad("larger than 4 GiB");
  uint8_t head[5];
  file_->Read(0, head, 5);
  if (head[0] != 0) Bad("no header block");
  mod_counter_ = std::max<uint16_t>(1, GetLe16(head + 3));
  end_ = (size + kUnit - 1) / kUnit * kUnit;
  sub_block_units_.resize(static_cast<size_t>(end_ / kUnit));
  ForEachBlock([&](const BlockInfo& b) {
    if (b.type == 3) {
      sub_block_units_[b.offset / kUnit] = true;
      if (!writable_) return;
      Slots slots = {};
      ReadSlots(b.offset, slots);
      NoteSpace(b.offset, slots);
    } else if (b.type == 4 && writable_) {
      const uint64_t next = std::min<uint64_t>(b.offset + uint64_t{b.units} * kUnit, end_);
      free_runs_.push_back({b.offset, static_cast<uint32_t>((next - b.offset) / kUnit)});
    }
  });
}

void BlobFile::ForEachBlock(const std::function<void(const BlockInfo&)>& visit) const {
  const uint64_t size = file_->Size();
  const uint64_t end = (size + kUnit - 1) / kUnit * kUnit;
  // The headers of small blocks are read a window at a time, that of a large
  // one on its own: a scan reads little more than the headers of large blobs.
  constexpr uint64_t kWindow = 64 * 1024;
  constexpr uint16_t kSmallBlock = 4;  // units
  std::vector<uint8_t> window;
  uint64_t window_at = 0;
  uint16_t last_units = 0;
  for (uint64_t off = kUnit; off + 3 <= size;) {
    uint8_t b[9] = {};
    if (off >= window_at && off + sizeof b <= window_at + window.size()) {
      std::memcpy(b, window.data() + (off - window_at), sizeof b);
    } else if (last_units > 0 && last_units <= kSmallBlock && size - off > sizeof b) {
      window.resize(static_cast<size_t>(std::min(kWindow, size - off)));
      file_->Read(off, window.data(), window.size());
      window_at = off;
      std::memcpy(b, window.data(), sizeof b);
    } else {
      file_->Read(off, b, sizeof b);
    }
    uint16_t units = GetLe16(b + 1);
    last_units = units;
    if (units == 0) Bad("empty block at " + std::to_string(off));
    uint64_t next = off + uint64_t{units} * kUnit;
    switch (b[0]) {
      case 2:
        if (next > end) Bad("block at " + std::to_string(off) + " runs past the end");
        if (GetLe32(b + 3) + 9ull > uint64_t{units} * kUnit) Bad("blob longer than its block at " + std::to_string(off));
        break;
      case 3:
        if (units != 1) Bad("sub-allocated block of several units at " + std::to_string(off));
        break;
      case 4:
        if (next > end) next = end;
        break;
      default:
        Bad("unknown block type " + std::to_string(b[0]) + " at " + std::to_string(off));
    }
    visit({static_cast<uint32_t>(off), b[0], units});
    off = next;
  }
}

void BlobFile::ReadSlots(uint32_t offset, Slots& slots) const {
  file_->Read(uint64_t{offset} + kSlotTable, slots, sizeof slots);
}

bool BlobFile::IsSubBlock(uint32_t offset) const {
  return offset % kUnit == 0 && offset / kUnit < sub_block_units_.size() && sub_block_units_[offset / kUnit];
}

void BlobFile::NoteSubBlock(uint32_t offset) {
  const size_t unit = offset / kUnit;
  if (unit >= sub_block_units_.size()) sub_block_units_.resize(static_cast<size_t>(end_ / kUnit));
  sub_block_units_[unit] = true;
}

std::string BlobFile::Locate(const BlobLeader& ref, uint64_t* data_offset) const {
  uint32_t base = ref.offset_index & 0xFFFFFF00u;
  uint32_t index = ref.offset_index & 0xFF;
  if (base % kUnit != 0 || base < kUnit || base >= end_) return "points outside the blob file";
  if (index == 0xFF) {
    uint8_t b[9] = {};
    file_->Read(base, b, 9);
    if (b[0] != 2) return "points to a block that holds no blob";
    if (GetLe32(b + 3) != ref.length) return "length differs from the blob file";
    if (GetLe16(b + 7) != ref.mod_nr) return "modification number differs from the blob file";
    if (data_offset) *data_offset = base + 9ull;
    return {};
  }
  if (index >= 64 || !IsSubBlock(base)) return "points to a missing sub-allocated blob";
  // The block's type and its slot table up to the slot, in one read.
  uint8_t b[kSlotTable + 5 * 64] = {};
  file_->Read(base, b, kSlotTable + 5 * (index + 1));
  if (b[0] != 3) return "points to a missing sub-allocated blob";
  const uint8_t* s = b + kSlotTable + 5 * index;
  if (s[0] < kFirstDataChunk || s[1] == 0 || s[0] + s[1] > kChunksPerBlock) return "points to an empty slot";
  if (SlotLength(s) != ref.length) return "length differs from the blob file";
  if (GetLe16(s + 2) != ref.mod_nr) return "modification number differs from the blob file";
  if (data_offset) *data_offset = base + uint64_t{s[0]} * kChunk;
  return {};
}

std::string BlobFile::Check(const BlobLeader& ref) const { return Locate(ref, nullptr); }

uint64_t BlobFile::StoredAt(const BlobLeader& ref) const {
  uint64_t at = 0;
  std::string problem = Locate(ref, &at);
  if (!problem.empty()) throw std::runtime_error("blob " + problem);
  if (at + ref.length > file_->Size()) throw std::runtime_error("blob cut short by the end of the blob file");
  return at;
}

std::vector<uint8_t> BlobFile::Read(const BlobLeader& ref, const uint8_t* leader, int leader_size) const {
  if (!ref.IsExternal()) {
    if (ref.length > static_cast<uint32_t>(leader_size)) throw std::runtime_error("blob length exceeds its leader");
    return std::vector<uint8_t>(leader, leader + ref.length);
  }
  uint64_t at = 0;
  std::string problem = Locate(ref, &at);
  if (!problem.empty()) throw std::runtime_error("blob " + problem);
  std::vector<uint8_t> data(ref.length);
  if (file_->Read(at, data.data(), data.size()) != data.size()) throw std::runtime_error("blob cut short by the end of the blob file");
  return data;
}

void BlobFile::ReadStored(uint64_t start, const BlobLeader& ref, uint64_t at, uint8_t* buf, size_t n) const {
  if (at + n > ref.length) throw std::runtime_error("read past the end of a blob");
  if (file_->Read(start + at, buf, n) != n) throw std::runtime_error("blob cut short by the end of the blob file");
}

uint16_t BlobFile::NextModNr() {
  uint16_t nr = mod_counter_;
  mod_counter_ = static_cast<uint16_t>(mod_counter_ == 0xFFFF ? 1 : mod_counter_ + 1);
  return nr;
}

uint32_t BlobFile::AllocateUnits(uint32_t units) {
  // The first run, by offset, that is long enough.
  for (FreeRun& run : free_runs_) {
    if (run.units < units) continue;
    uint32_t offset = run.offset;
    uint32_t rest = run.units - units;
    if (rest) {
      // What is left starts further on, before the next run: the order holds.
      run = {offset + units * kUnit, rest};
      uint8_t h[3] = {4};
      PutLe16(h + 1, static_cast<uint16_t>(std::min(rest, kMaxRunUnits)));
      file_->Write(run.offset, h, 3);
    } else {
      free_runs_.erase(free_runs_.begin() + (&run - free_runs_.data()));
    }
    return offset;
  }
  if (end_ + uint64_t{units} * kUnit > 0xFFFFFFFFull) throw std::runtime_error("blob file full (4 GiB)");
  uint32_t offset = static_cast<uint32_t>(end_);
  end_ += uint64_t{units} * kUnit;
  return offset;
}

namespace {

// The longest run of free chunks of a sub-allocated block and its first chunk.
std::pair<uint32_t, uint32_t> LongestFreeRun(const uint8_t (&slots)[64][5]) {
  bool used[kChunksPerBlock] = {};
  for (const auto& s : slots)
    if (s[1])
      for (uint32_t c = s[0]; c < s[0] + s[1] && c < kChunksPerBlock; ++c) used[c] = true;
  uint32_t best = 0, best_first = 0, run = 0;
  for (uint32_t c = kFirstDataChunk; c < kChunksPerBlock; ++c) {
    run = used[c] ? 0 : run + 1;
    if (run > best) {
      best = run;
      best_first = c + 1 - run;
    }
  }
  return {best, best_first};
}

int FreeSlot(const uint8_t (&slots)[64][5]) {
  for (int i = 63; i >= 0; --i)
    if (slots[i][1] == 0) return i;
  return -1;
}

}  // namespace

void BlobFile::NoteSpace(uint32_t offset, const Slots& slots) {
  uint32_t used = 0;
  for (const auto& s : slots) used += s[1];
  const auto free_chunks = static_cast<uint8_t>(kChunksPerBlock - kFirstDataChunk - std::min(used, kChunksPerBlock - kFirstDataChunk));
  const auto longest = static_cast<uint8_t>(FreeSlot(slots) < 0 ? 0 : LongestFreeRun(slots).first);
  auto it = std::lower_bound(rooms_.begin(), rooms_.end(), offset, [](const Room& r, uint32_t o) { return r.offset < o; });
  const bool kept = it != rooms_.end() && it->offset == offset;
  if (kept && free_chunks != 0 && it->longest == longest) {
    it->free_chunks = free_chunks;
    return;
  }
  if (kept) {
    std::vector<uint32_t>& old = by_longest_[it->longest];
    old.erase(std::lower_bound(old.begin(), old.end(), offset));
    if (free_chunks == 0) {
      rooms_.erase(it);
      return;
    }
    *it = {offset, free_chunks, longest};
  } else {
    if (free_chunks == 0) return;
    rooms_.insert(it, {offset, free_chunks, longest});
  }
  std::vector<uint32_t>& now = by_longest_[longest];
  now.insert(std::lower_bound(now.begin(), now.end(), offset), offset);
  if (!kept) KeepRoomsBounded();
}

void BlobFile::KeepRoomsBounded() {
  if (rooms_.size() <= rooms_kept) return;
  // The least room goes, the last such block by offset: a file walked afresh
  // keeps the blocks with the longest runs of free chunks, the first ones by offset.
  auto least = std::find_if(by_longest_.begin(), by_longest_.end(),
                            [](const std::vector<uint32_t>& offsets) { return !offsets.empty(); });
  const uint32_t offset = least->back();
  least->pop_back();
  rooms_.erase(std::lower_bound(rooms_.begin(), rooms_.end(), offset, [](const Room& r, uint32_t o) { return r.offset < o; }));
}

BlobLeader BlobFile::WriteSmall(const std::vector<uint8_t>& data) {
  const uint32_t chunks = static_cast<uint32_t>((data.size() + kChunk - 1) / kChunk);
  // The block whose longest free run fits most tightly, the first such by offset.
  auto fit = std::find_if(by_longest_.begin() + chunks, by_longest_.end(),
                          [](const std::vector<uint32_t>& offsets) { return !offsets.empty(); });
  uint32_t offset;
  Slots slots = {};
  if (fit != by_longest_.end()) {
    offset = fit->front();
    ReadSlots(offset, slots);
  } else {
    offset = AllocateUnits(1);
    std::vector<uint8_t> block(kUnit, 0);
    block[0] = 3;
    PutLe16(&block[1], 1);
    file_->Write(offset, block.data(), block.size());
    NoteSubBlock(offset);
  }
  int slot = FreeSlot(slots);
  uint32_t first = LongestFreeRun(slots).second;
  uint16_t mod_nr = NextModNr();
  uint8_t* s = slots[slot];
  s[0] = static_cast<uint8_t>(first);
  s[1] = static_cast<uint8_t>(chunks);
  PutLe16(s + 2, mod_nr);
  s[4] = static_cast<uint8_t>(data.size() % kChunk ? data.size() % kChunk : kChunk);
  file_->Write(uint64_t{offset} + first * kChunk, data.data(), data.size());
  file_->Write(uint64_t{offset} + kSlotTable + 5u * slot, s, 5);
  NoteSpace(offset, slots);
  return {offset | static_cast<uint32_t>(slot), static_cast<uint32_t>(data.size()), mod_nr};
}

BlobLeader BlobFile::StartLarge(uint64_t size, uint8_t* header, uint64_t* data_offset) {
  if (size > 0xFFFFFFFFull - kLargeHeader - kUnit) throw std::runtime_error("blob too large");
  uint32_t units64 = static_cast<uint32_t>((size + kLargeHeader + kUnit - 1) / kUnit);
  if (units64 > kMaxRunUnits) throw std::runtime_error("blob too large (256 MiB at most)");
  uint32_t offset = AllocateUnits(units64);
  uint16_t mod_nr = NextModNr();
  header[0] = 2;
  PutLe16(header + 1, static_cast<uint16_t>(units64));
  PutLe32(header + 3, static_cast<uint32_t>(size));
  PutLe16(header + 7, mod_nr);
  *data_offset = offset + kLargeHeader;
  return {offset | 0xFF, static_cast<uint32_t>(size), mod_nr};
}

BlobLeader BlobFile::Write(const std::vector<uint8_t>& data) {
  if (data.empty()) throw std::invalid_argument("empty blob");
  changed_ = true;
  if (data.size() <= kSmallBlobLimit) return WriteSmall(data);
  uint64_t to = 0;
  uint8_t header[kLargeHeader];
  const BlobLeader ref = StartLarge(data.size(), header, &to);
  file_->Write(to - kLargeHeader, header, kLargeHeader);
  file_->Write(to, data.data(), data.size());
  return ref;
}

BlobLeader BlobFile::Write(uint64_t size, const PieceSource& piece) {
  if (size == 0) throw std::invalid_argument("empty blob");
  changed_ = true;
  if (size <= kSmallBlobLimit) {
    std::vector<uint8_t> data(static_cast<size_t>(size));
    piece(0, data.data(), data.size());
    return WriteSmall(data);
  }
  uint64_t to = 0;
  // The block's header goes out with the first piece, in one write.
  std::vector<uint8_t> buffer(kLargeHeader + static_cast<size_t>(std::min<uint64_t>(size, kPiece)));
  const BlobLeader ref = StartLarge(size, buffer.data(), &to);
  for (uint64_t at = 0; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size - at, kPiece));
    const size_t head = at == 0 ? kLargeHeader : 0;
    piece(at, buffer.data() + head, n);
    file_->Write(to + at - head, buffer.data(), head + n);
    at += n;
  }
  return ref;
}

void BlobFile::Release(const BlobLeader& ref) {
  if (!ref.IsExternal()) return;
  released_.push_back(ref);
  changed_ = true;
}

void BlobFile::PrepareCommit() {
  if (!changed_) return;
  changed_ = false;
  std::vector<uint32_t> touched_runs;
  std::vector<FreeRun> freed;
  for (const BlobLeader& ref : released_) {
    uint32_t base = ref.offset_index & 0xFFFFFF00u;
    uint32_t index = ref.offset_index & 0xFF;
    if (index != 0xFF) {
      if (!IsSubBlock(base) || index >= 64) continue;
      Slots slots = {};
      ReadSlots(base, slots);
      std::memset(slots[index], 0, 5);
      file_->Write(uint64_t{base} + kSlotTable + 5 * index, slots[index], 5);
      NoteSpace(base, slots);
      continue;
    }
    uint8_t b[3] = {};
    file_->Read(base, b, 3);
    if (b[0] != 2) continue;
    freed.push_back({base, GetLe16(b + 1)});
    touched_runs.push_back(base);
  }
  released_.clear();
  if (!freed.empty()) {
    // Into the runs by offset; a block freed twice counts once, its last release.
    const auto by_offset = [](const FreeRun& a, const FreeRun& b) { return a.offset < b.offset; };
    std::stable_sort(freed.begin(), freed.end(), by_offset);
    size_t kept = 0;
    for (size_t i = 0; i < freed.size(); ++i) {
      if (kept && freed[kept - 1].offset == freed[i].offset) freed[kept - 1] = freed[i];
      else freed[kept++] = freed[i];
    }
    freed.resize(kept);
    std::vector<FreeRun> runs;
    runs.reserve(free_runs_.size() + freed.size());
    size_t i = 0;
    for (const FreeRun& f : freed) {
      while (i < free_runs_.size() && free_runs_[i].offset < f.offset) runs.push_back(free_runs_[i++]);
      if (i < free_runs_.size() && free_runs_[i].offset == f.offset) ++i;
      runs.push_back(f);
    }
    runs.insert(runs.end(), free_runs_.begin() + static_cast<long>(i), free_runs_.end());
    free_runs_.swap(runs);
  }
  // Merge neighbouring runs (up to the 16-bit length a block header holds).
  size_t out = 0;
  for (size_t i = 0; i < free_runs_.size();) {
    FreeRun run = free_runs_[i++];
    while (i < free_runs_.size() && run.offset + uint64_t{run.units} * kUnit == free_runs_[i].offset &&
           run.units + free_runs_[i].units <= kMaxRunUnits) {
      run.units += free_runs_[i++].units;
      touched_runs.push_back(run.offset);
    }
    free_runs_[out++] = run;
  }
  free_runs_.resize(out);
  std::sort(touched_runs.begin(), touched_runs.end());
  touched_runs.erase(std::unique(touched_runs.begin(), touched_runs.end()), touched_runs.end());
  for (uint32_t off : touched_runs) {
    auto it = std::lower_bound(free_runs_.begin(), free_runs_.end(), off,
                               [](const FreeRun& r, uint32_t o) { return r.offset < o; });
    if (it == free_runs_.end() || it->offset != off) continue;
    uint8_t h[3] = {4};
    PutLe16(h + 1, static_cast<uint16_t>(it->units));
    file_->Write(off, h, 3);
  }

  // Header: modification counter and the free-space table.
  std::vector<uint8_t> table(kFreeTableEntries * 6 + 6, 0);
  int n = 0;
  auto add = [&](uint32_t code, uint16_t amount) {
    if (n >= kFreeTableEntries) return;
    PutLe32(&table[6 * n], code);
    PutLe16(&table[6 * n + 4], amount);
    ++n;
  };
  for (const Room& room : rooms_) {
    if (n >= kFreeTableEntries) break;
    add(room.offset | 2, room.free_chunks);
  }
  for (const FreeRun& run : free_runs_) {
    if (n >= kFreeTableEntries) break;
    add(run.offset | 3, static_cast<uint16_t>(run.units));
  }
  uint8_t counter[2];
  PutLe16(counter, mod_counter_);
  file_->Write(3, counter, 2);
  // A full table has no room for the closing zero entry: the header unit ends there.
  file_->Write(kFreeTable, table.data(), static_cast<size_t>(std::min(n + 1, kFreeTableEntries)) * 6);
  if (file_->Size() < end_) {
    // Keep the file a whole number of units.
    uint8_t zero = 0;
    file_->Write(end_ - 1, &zero, 1);
  }
}

}  // namespace tabulor::db::format
