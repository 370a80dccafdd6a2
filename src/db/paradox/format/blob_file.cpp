#include "db/paradox/format/blob_file.h"

#include <algorithm>
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

BlobFile::BlobFile(storage::PagedFile* file) : file_(file) { Walk(); }

void BlobFile::Walk() {
  uint64_t size = file_->Size();
  if (size < kUnit) Bad("no header");
  if (size > 0xFFFFFFFFull) Bad("larger than 4 GiB");
  uint8_t head[5];
  file_->Read(0, head, 5);
  if (head[0] != 0) Bad("no header block");
  mod_counter_ = std::max<uint16_t>(1, GetLe16(head + 3));
  end_ = (size + kUnit - 1) / kUnit * kUnit;
  for (uint64_t off = kUnit; off + 3 <= size;) {
    uint8_t b[9] = {};
    file_->Read(off, b, 9);
    uint16_t units = GetLe16(b + 1);
    if (units == 0) Bad("empty block at " + std::to_string(off));
    uint64_t next = off + uint64_t{units} * kUnit;
    switch (b[0]) {
      case 2:
        if (next > end_) Bad("block at " + std::to_string(off) + " runs past the end");
        if (GetLe32(b + 3) + 9ull > uint64_t{units} * kUnit) Bad("blob longer than its block at " + std::to_string(off));
        break;
      case 3: {
        if (units != 1) Bad("sub-allocated block of several units at " + std::to_string(off));
        SubBlock sb{static_cast<uint32_t>(off), {}};
        file_->Read(off + kSlotTable, sb.slots, sizeof sb.slots);
        IndexSpace(sub_blocks_.emplace(sb.offset, sb).first->second);
        break;
      }
      case 4:
        if (next > end_) next = end_;
        free_runs_[static_cast<uint32_t>(off)] = static_cast<uint32_t>((next - off) / kUnit);
        break;
      default:
        Bad("unknown block type " + std::to_string(b[0]) + " at " + std::to_string(off));
    }
    blocks_.push_back({static_cast<uint32_t>(off), b[0], units});
    off = next;
  }
}

std::string BlobFile::Check(const BlobLeader& ref) const {
  uint32_t base = ref.offset_index & 0xFFFFFF00u;
  uint32_t index = ref.offset_index & 0xFF;
  if (base % kUnit != 0 || base < kUnit || base >= end_) return "points outside the blob file";
  uint8_t b[9] = {};
  file_->Read(base, b, 9);
  if (index == 0xFF) {
    if (b[0] != 2) return "points to a block that holds no blob";
    if (GetLe32(b + 3) != ref.length) return "length differs from the blob file";
    if (GetLe16(b + 7) != ref.mod_nr) return "modification number differs from the blob file";
    return {};
  }
  auto it = sub_blocks_.find(base);
  if (b[0] != 3 || it == sub_blocks_.end() || index >= 64) return "points to a missing sub-allocated blob";
  const uint8_t* s = it->second.slots[index];
  if (s[0] < kFirstDataChunk || s[1] == 0 || s[0] + s[1] > kChunksPerBlock) return "points to an empty slot";
  if (SlotLength(s) != ref.length) return "length differs from the blob file";
  if (GetLe16(s + 2) != ref.mod_nr) return "modification number differs from the blob file";
  return {};
}

uint64_t BlobFile::DataOffset(const BlobLeader& ref) const {
  uint32_t base = ref.offset_index & 0xFFFFFF00u;
  uint32_t index = ref.offset_index & 0xFF;
  return index == 0xFF ? base + 9ull : base + uint64_t{sub_blocks_.at(base).slots[index][0]} * kChunk;
}

void BlobFile::CheckStored(const BlobLeader& ref) const {
  std::string problem = Check(ref);
  if (!problem.empty()) throw std::runtime_error("blob " + problem);
  if (DataOffset(ref) + ref.length > file_->Size()) throw std::runtime_error("blob cut short by the end of the blob file");
}

std::vector<uint8_t> BlobFile::Read(const BlobLeader& ref, const uint8_t* leader, int leader_size) const {
  if (!ref.IsExternal()) {
    if (ref.length > static_cast<uint32_t>(leader_size)) throw std::runtime_error("blob length exceeds its leader");
    return std::vector<uint8_t>(leader, leader + ref.length);
  }
  std::string problem = Check(ref);
  if (!problem.empty()) throw std::runtime_error("blob " + problem);
  std::vector<uint8_t> data(ref.length);
  if (file_->Read(DataOffset(ref), data.data(), data.size()) != data.size()) throw std::runtime_error("blob cut short by the end of the blob file");
  return data;
}

void BlobFile::ReadPart(const BlobLeader& ref, uint64_t at, uint8_t* buf, size_t n) const {
  if (at + n > ref.length) throw std::runtime_error("read past the end of a blob");
  CheckStored(ref);
  if (file_->Read(DataOffset(ref) + at, buf, n) != n) throw std::runtime_error("blob cut short by the end of the blob file");
}

uint16_t BlobFile::NextModNr() {
  uint16_t nr = mod_counter_;
  mod_counter_ = static_cast<uint16_t>(mod_counter_ == 0xFFFF ? 1 : mod_counter_ + 1);
  return nr;
}

uint32_t BlobFile::AllocateUnits(uint32_t units) {
  for (auto it = free_runs_.begin(); it != free_runs_.end(); ++it) {
    if (it->second < units) continue;
    uint32_t offset = it->first;
    uint32_t rest = it->second - units;
    free_runs_.erase(it);
    if (rest) {
      uint32_t rest_at = offset + units * kUnit;
      free_runs_[rest_at] = rest;
      uint8_t h[3] = {4};
      PutLe16(h + 1, static_cast<uint16_t>(std::min(rest, kMaxRunUnits)));
      file_->Write(rest_at, h, 3);
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

void BlobFile::IndexSpace(const SubBlock& sb) {
  if (auto it = space_of_.find(sb.offset); it != space_of_.end()) {
    by_space_.erase({it->second, sb.offset});
    space_of_.erase(it);
  }
  if (FreeSlot(sb.slots) < 0) return;
  uint32_t longest = LongestFreeRun(sb.slots).first;
  if (longest == 0) return;
  by_space_.insert({longest, sb.offset});
  space_of_[sb.offset] = longest;
}

BlobLeader BlobFile::WriteSmall(const std::vector<uint8_t>& data) {
  const uint32_t chunks = static_cast<uint32_t>((data.size() + kChunk - 1) / kChunk);
  // The block whose longest free run fits most tightly.
  auto fit = by_space_.lower_bound({chunks, 0});
  uint32_t offset;
  if (fit != by_space_.end()) {
    offset = fit->second;
  } else {
    offset = AllocateUnits(1);
    std::vector<uint8_t> block(kUnit, 0);
    block[0] = 3;
    PutLe16(&block[1], 1);
    file_->Write(offset, block.data(), block.size());
    sub_blocks_.emplace(offset, SubBlock{offset, {}});
    blocks_.push_back({offset, 3, 1});
  }
  SubBlock& sb = sub_blocks_.at(offset);
  int slot = FreeSlot(sb.slots);
  uint32_t first = LongestFreeRun(sb.slots).second;
  uint16_t mod_nr = NextModNr();
  uint8_t* s = sb.slots[slot];
  s[0] = static_cast<uint8_t>(first);
  s[1] = static_cast<uint8_t>(chunks);
  PutLe16(s + 2, mod_nr);
  s[4] = static_cast<uint8_t>(data.size() % kChunk ? data.size() % kChunk : kChunk);
  file_->Write(uint64_t{offset} + first * kChunk, data.data(), data.size());
  file_->Write(uint64_t{offset} + kSlotTable + 5u * slot, s, 5);
  IndexSpace(sb);
  return {offset | static_cast<uint32_t>(slot), static_cast<uint32_t>(data.size()), mod_nr};
}

BlobLeader BlobFile::StartLarge(uint64_t size) {
  if (size > 0xFFFFFFFFull - 9 - kUnit) throw std::runtime_error("blob too large");
  uint32_t units64 = static_cast<uint32_t>((size + 9 + kUnit - 1) / kUnit);
  if (units64 > kMaxRunUnits) throw std::runtime_error("blob too large (256 MiB at most)");
  uint32_t offset = AllocateUnits(units64);
  uint16_t mod_nr = NextModNr();
  uint8_t h[9] = {2};
  PutLe16(h + 1, static_cast<uint16_t>(units64));
  PutLe32(h + 3, static_cast<uint32_t>(size));
  PutLe16(h + 7, mod_nr);
  file_->Write(offset, h, 9);
  blocks_.push_back({offset, 2, static_cast<uint16_t>(units64)});
  return {offset | 0xFF, static_cast<uint32_t>(size), mod_nr};
}

BlobLeader BlobFile::Write(const std::vector<uint8_t>& data) {
  if (data.empty()) throw std::invalid_argument("empty blob");
  changed_ = true;
  if (data.size() <= kSmallBlobLimit) return WriteSmall(data);
  const BlobLeader ref = StartLarge(data.size());
  file_->Write(DataOffset(ref), data.data(), data.size());
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
  const BlobLeader ref = StartLarge(size);
  const uint64_t to = DataOffset(ref);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kPiece)));
  for (uint64_t at = 0; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size - at, kPiece));
    piece(at, buffer.data(), n);
    file_->Write(to + at, buffer.data(), n);
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
  for (const BlobLeader& ref : released_) {
    uint32_t base = ref.offset_index & 0xFFFFFF00u;
    uint32_t index = ref.offset_index & 0xFF;
    if (index != 0xFF) {
      auto it = sub_blocks_.find(base);
      if (it == sub_blocks_.end() || index >= 64) continue;
      std::memset(it->second.slots[index], 0, 5);
      file_->Write(uint64_t{base} + kSlotTable + 5 * index, it->second.slots[index], 5);
      IndexSpace(it->second);
      continue;
    }
    uint8_t b[3] = {};
    file_->Read(base, b, 3);
    if (b[0] != 2) continue;
    free_runs_[base] = GetLe16(b + 1);
    touched_runs.push_back(base);
  }
  released_.clear();
  // Merge neighbouring runs (up to the 16-bit length a block header holds).
  for (auto it = free_runs_.begin(); it != free_runs_.end();) {
    auto next = std::next(it);
    if (next != free_runs_.end() && it->first + uint64_t{it->second} * kUnit == next->first &&
        it->second + next->second <= kMaxRunUnits) {
      it->second += next->second;
      free_runs_.erase(next);
      touched_runs.push_back(it->first);
      continue;
    }
    ++it;
  }
  std::sort(touched_runs.begin(), touched_runs.end());
  touched_runs.erase(std::unique(touched_runs.begin(), touched_runs.end()), touched_runs.end());
  for (uint32_t off : touched_runs) {
    auto it = free_runs_.find(off);
    if (it == free_runs_.end()) continue;
    uint8_t h[3] = {4};
    PutLe16(h + 1, static_cast<uint16_t>(it->second));
    file_->Write(off, h, 3);
  }
  blocks_.erase(std::remove_if(blocks_.begin(), blocks_.end(),
                               [&](const BlockInfo& b) { return b.type == 2 && free_runs_.count(b.offset); }),
                blocks_.end());

  // Header: modification counter and the free-space table.
  std::vector<uint8_t> table(kFreeTableEntries * 6 + 6, 0);
  int n = 0;
  auto add = [&](uint32_t code, uint16_t amount) {
    if (n >= kFreeTableEntries) return;
    PutLe32(&table[6 * n], code);
    PutLe16(&table[6 * n + 4], amount);
    ++n;
  };
  for (const auto& [offset, sb] : sub_blocks_) {
    uint32_t used = 0;
    for (const auto& s : sb.slots) used += s[1];
    uint32_t free_chunks = kChunksPerBlock - kFirstDataChunk - std::min(used, kChunksPerBlock - kFirstDataChunk);
    if (free_chunks) add(offset | 2, static_cast<uint16_t>(free_chunks));
  }
  for (const auto& [offset, units] : free_runs_) add(offset | 3, static_cast<uint16_t>(units));
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
