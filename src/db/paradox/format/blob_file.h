#pragma once
// The .MB blob file: a header unit, single-blob blocks (type 2), blocks
// sub-allocated in 16-byte chunks (type 3) and runs of free units (type 4),
// all in 4 KiB units. Space freed during a transaction is handed out again
// only after the commit, so nothing the committed rows point to is ever
// overwritten before the commit is durable.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/paradox/format/field_codec.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::format {

class BlobFile {
 public:
  static constexpr uint32_t kUnit = 4096;
  static constexpr uint32_t kSmallBlobLimit = 2048;  // larger blobs get a block of their own

  // Walks the file's blocks; throws std::runtime_error when they do not add up.
  // Which blocks are sub-allocated is noted a bit per 4 KiB of the file; a
  // file written also notes the room of at most RoomsKept() of them.
  explicit BlobFile(storage::PagedFile* file, bool writable = true);
  // How many sub-allocated blocks with room a file written keeps in mind,
  // those with the most room (the tests make it small); returns the previous
  // bound. The others' room is used again once the file is opened anew.
  static size_t SetRoomsKept(size_t rooms);
  static size_t RoomsKept();
  // The bytes of a new, empty blob file.
  static std::vector<uint8_t> NewFileHeader();

  // The blob a field points to; `leader` is the part kept in the record.
  std::vector<uint8_t> Read(const BlobLeader& ref, const uint8_t* leader, int leader_size) const;
  // Where the bytes of a stored blob start, after the checks Read makes
  // (throws std::runtime_error): a blob read a piece at a time is located once.
  uint64_t StoredAt(const BlobLeader& ref) const;
  // `n` bytes from byte `at` of the stored blob whose bytes start at `start`
  // (StoredAt, the file unchanged since).
  void ReadStored(uint64_t start, const BlobLeader& ref, uint64_t at, uint8_t* buf, size_t n) const;
  // Stores a blob that does not fit in the leader and returns its reference.
  BlobLeader Write(const std::vector<uint8_t>& data);
  // The same, for a blob of `size` bytes that `piece(at, buf, n)` gives a piece
  // of kPiece bytes at most at a time: the same blocks, headers and bytes as
  // Write of the whole, never more than one piece held.
  static constexpr size_t kPiece = 64 * 1024;
  using PieceSource = std::function<void(uint64_t at, uint8_t* buf, size_t n)>;
  BlobLeader Write(uint64_t size, const PieceSource& piece);
  // Releases a blob (at the next commit).
  void Release(const BlobLeader& ref);
  // Writes the released space and the header into the file, before a commit.
  void PrepareCommit();

  // Problems found by checking a reference (empty when it is sound).
  std::string Check(const BlobLeader& ref) const;
  // The blocks of the file, walked from the header by each block's size
  // (throws std::runtime_error when they do not add up).
  struct BlockInfo {
    uint32_t offset;
    uint8_t type;
    uint16_t units;
  };
  void ForEachBlock(const std::function<void(const BlockInfo&)>& visit) const;

 private:
  using Slots = uint8_t[64][5];
  // What finding room needs of a sub-allocated block; its slot table stays in the file.
  struct Room {
    uint32_t offset;
    uint8_t free_chunks;  // chunks no slot covers, for the header's free-space table
    uint8_t longest;      // its longest run of free chunks, 0 when it has no free slot
  };
  struct FreeRun {
    uint32_t offset;
    uint32_t units;
  };
  uint16_t NextModNr();
  uint32_t AllocateUnits(uint32_t units);
  BlobLeader WriteSmall(const std::vector<uint8_t>& data);
  // The header of a block of its own: type, units, length, modification number.
  static constexpr size_t kLargeHeader = 9;
  // Allocates a block of its own for a blob of `size` bytes and makes its
  // header, to be written just before `*data_offset`, where its bytes go.
  BlobLeader StartLarge(uint64_t size, uint8_t* header, uint64_t* data_offset);
  // The problems of a reference (empty when sound) and, when sound, where its bytes start.
  std::string Locate(const BlobLeader& ref, uint64_t* data_offset) const;
  void ReadSlots(uint32_t offset, Slots& slots) const;
  // Whether a sub-allocated block starts at `offset`.
  bool IsSubBlock(uint32_t offset) const;
  void NoteSubBlock(uint32_t offset);
  // Records the room a sub-allocated block has after its slots changed (or were first read).
  void NoteSpace(uint32_t offset, const Slots& slots);
  // Forgets the block with the least room when more than the bound are kept.
  void KeepRoomsBounded();

  storage::PagedFile* file_;
  std::vector<FreeRun> free_runs_;  // by offset, usable now
  std::vector<bool> sub_block_units_;  // by unit, the sub-allocated blocks
  bool writable_;
  std::vector<Room> rooms_;  // by offset: the blocks with free chunks kept in mind (a file written)
  // Their offsets, in order, by the length of their longest run of free
  // chunks (0: no free slot), so that a small blob finds the tightest room
  // without a scan of the file.
  std::vector<std::vector<uint32_t>> by_longest_;
  std::vector<BlobLeader> released_;
  uint16_t mod_counter_ = 1;
  bool changed_ = false;
  uint64_t end_ = kUnit;
};

}  // namespace tabulor::db::format
