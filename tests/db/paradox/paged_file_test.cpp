// A file read through PagedFile's read-ahead window must show exactly what
// the file holds, whatever the order and size of the reads, and a forward
// walk must cost a read of the file per window, not per block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::storage {
namespace {

class MemoryFile : public File {
 public:
  MemoryFile(std::vector<uint8_t> bytes, int* reads) : bytes_(std::move(bytes)), reads_(reads) {}
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
    ++*reads_;
    if (offset >= bytes_.size()) return 0;
    n = std::min<size_t>(n, bytes_.size() - offset);
    std::memcpy(buf, bytes_.data() + offset, n);
    return n;
  }
  void WriteAt(uint64_t, const void*, size_t) override { FAIL() << "nothing writes a file read ahead"; }
  uint64_t Size() override { return bytes_.size(); }
  void Truncate(uint64_t) override { FAIL() << "nothing truncates a file read ahead"; }
  void Sync() override {}

 private:
  std::vector<uint8_t> bytes_;
  int* reads_;
};

struct ReadAheadFile {
  explicit ReadAheadFile(size_t size) {
    std::mt19937 rng(7);
    bytes.resize(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    file = std::make_unique<PagedFile>(std::make_unique<MemoryFile>(bytes, &reads), "memory");
    file->ReadAhead();
  }
  // Reads through the window and checks the bytes and the count against the file's.
  void Check(uint64_t offset, size_t n) {
    std::vector<uint8_t> got(n, 0xEE);
    const size_t count = file->Read(offset, got.data(), n);
    const size_t expected = offset >= bytes.size() ? 0 : std::min<size_t>(n, bytes.size() - offset);
    ASSERT_EQ(count, expected) << "read of " << n << " at " << offset;
    ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(count), bytes.begin() + static_cast<long>(offset)))
        << "read of " << n << " at " << offset;
  }
  std::vector<uint8_t> bytes;
  int reads = 0;
  std::unique_ptr<PagedFile> file;
};

TEST(PagedFile, ReadAheadShowsTheFileAsItIsAndReadsAWindowAtATime) {
  ReadAheadFile f(1 << 20);
  // A table walked block after block (blocks of 2 KiB, some of them not full).
  for (uint64_t at = 0x800; at < f.bytes.size(); at += 2048) f.Check(at, at % 3 ? 1912 : 2048);
  EXPECT_LE(f.reads, static_cast<int>(f.bytes.size() / (32 * 1024)) + 3);

  // A blob file walked header after header: the header, then a leader's bytes just after it.
  f.reads = 0;
  for (uint64_t at = 4096; at + 73 < f.bytes.size(); at += 9300) {
    f.Check(at, 9);
    f.Check(at + 9, 64);
  }
  EXPECT_LE(f.reads, static_cast<int>(f.bytes.size() / (32 * 1024)) * 2 + 3);

  // Lookups anywhere, reads backwards, large reads, reads across and past the end.
  std::mt19937 rng(11);
  uint64_t at = 0;
  for (int i = 0; i < 5000; ++i) {
    const int kind = static_cast<int>(rng() % 4);
    if (kind == 0) at = rng() % (f.bytes.size() + 100);                       // anywhere
    else if (kind == 1) at += rng() % 6000;                                    // onwards
    else if (kind == 2) at -= std::min<uint64_t>(at, rng() % 6000);            // back
    else at = f.bytes.size() - std::min<uint64_t>(f.bytes.size(), rng() % 40000);  // near the end
    const size_t n = rng() % 8 == 0 ? 1 + rng() % 70000 : 1 + rng() % 4096;
    f.Check(at, n);
  }
}

}  // namespace
}  // namespace tabulor::db::storage
