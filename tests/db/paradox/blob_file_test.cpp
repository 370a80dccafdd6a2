// Many small blobs in one table: the sub-allocated blocks fill the header's
// free-space table, and every blob must still read back after a reopen.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>

#include "db/paradox/engine.h"
#include "db/paradox/format/blob_file.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;
using format::BlobFile;
using testing::VerifyTable;

Blob Pattern(uint32_t row, size_t size) {
  Blob b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((row * 131 + i * 7) & 0xFF);
  return b;
}

TEST(BlobFile, ThousandsOfSmallBlobsSurviveAReopenAndVerify) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kAutoInc, 0}, {"B", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Small", def);

  // Sizes straddle the 2048-byte limit between sub-allocated and own blocks;
  // some rows stay empty. A flush every 500 rows makes several commits.
  std::mt19937 rng(7);
  std::vector<size_t> sizes;
  {
    Table t(session, dir.path(), "Small");
    t.Open();
    for (uint32_t row = 0; row < 6000; ++row) {
      size_t size = rng() % 10 < 3 ? 0 : 600 + rng() % 1800;
      sizes.push_back(size);
      t.Append();
      if (size) t.FieldByName("B").SetAsBlob(Pattern(row, size));
      t.Post();
      if (row % 500 == 499) t.FlushBuffers();
    }
    t.FlushBuffers();
    t.Close();
  }
  EXPECT_TRUE(VerifyTable(dir.path(), "Small").empty());

  Table t(session, dir.path(), "Small");
  t.Open();
  ASSERT_EQ(t.RecordCount(), 6000);
  uint32_t row = 0;
  for (t.First(); !t.Eof(); t.Next(), ++row) {
    ASSERT_EQ(t.FieldByName("B").AsBlob(), Pattern(row, sizes[row])) << "row " << row;
  }
  EXPECT_EQ(row, 6000u);

  // Deleting every other row frees slots that later blobs reuse.
  t.First();
  for (uint32_t i = 0; !t.Eof(); ++i) {
    if (i % 2 == 0) t.Delete(); else t.Next();
  }
  for (uint32_t extra = 0; extra < 1000; ++extra) {
    t.Append();
    t.FieldByName("B").SetAsBlob(Pattern(100000 + extra, 700));
    t.Post();
  }
  t.FlushBuffers();
  t.Close();
  EXPECT_TRUE(VerifyTable(dir.path(), "Small").empty());
  t.Open();
  EXPECT_EQ(t.RecordCount(), 4000);
}

TEST(BlobFile, VerifyNamesTheRowsThatShareABlob) {
  ScratchDir dir;
  {
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kLong, 0}, {"B", FieldType::kBlob, 10}};
    def.key_field_count = 1;
    CreateTable(session, dir.path(), "Twins", def);
    Table t(session, dir.path(), "Twins");
    t.Open();
    for (uint32_t row = 0; row < 5; ++row) {
      t.Append();
      t.FieldByName("ID").SetAsInteger(row + 1);
      t.FieldByName("B").SetAsBlob(Pattern(row, 700));
      t.Post();
    }
    t.FlushBuffers();
  }
  ASSERT_TRUE(VerifyTable(dir.path(), "Twins").empty());
  // Rows 4 and 5 take the blob field of row 2, as a damaged table may.
  std::fstream f(dir / "Twins.DB", std::ios::in | std::ios::out | std::ios::binary);
  uint8_t head[4];
  f.read(reinterpret_cast<char*>(head), 4);
  const size_t record = head[0] | head[1] << 8, header = head[2] | head[3] << 8;
  auto field_at = [&](int row) { return static_cast<std::streamoff>(header + 6 + row * record + 4); };
  std::vector<char> blob_field(record - 4);
  f.seekg(field_at(1));
  f.read(blob_field.data(), static_cast<std::streamsize>(blob_field.size()));
  for (int row : {4, 3}) {
    f.seekp(field_at(row));
    f.write(blob_field.data(), static_cast<std::streamsize>(blob_field.size()));
  }
  f.close();
  EXPECT_EQ(VerifyTable(dir.path(), "Twins"),
            (std::vector<std::string>{"row 4, field B: blob shared with another row",
                                      "row 5, field B: blob shared with another row"}));
}

std::vector<char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The blob file keeps only the room of its blocks in memory; where a blob goes
// must not depend on whether that room was followed through the writes and
// releases of one open table or walked afresh from the file by a reopen. The
// same writes, releases and reuses (slots of several sub-allocated blocks, and
// freed runs of units merged with their neighbours) run in two folders, one
// reopening the table after every flush; both must leave the same .MB bytes
// (the .DB headers hold the time of the flush), with every blob as written.
TEST(BlobFile, RoomKeptAcrossFlushesPlacesBlobsAsAReopenedFileDoes) {
  struct Run {
    ScratchDir dir;
    std::map<int64_t, Blob> blobs;  // by ID
    uintmax_t size_before_reuse = 0, size_after_reuse = 0;
    size_t reused_bytes = 0;
  };
  auto run_steps = [](Run& run, bool reopen) {
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kAutoInc, 0}, {"B", FieldType::kBlob, 10}};
    def.key_field_count = 1;
    CreateTable(session, run.dir.path(), "Room", def);
    Table t(session, run.dir.path(), "Room");
    t.Open();
    std::mt19937 rng(11);
    uint32_t serial = 0;
    auto size_of = [&](int large_in_ten, size_t small_max, size_t large_max) -> size_t {
      return rng() % 10 < static_cast<uint32_t>(large_in_ten) ? 2049 + rng() % (large_max - 2048) : 11 + rng() % (small_max - 10);
    };
    auto set = [&](size_t size) {
      Blob b = Pattern(++serial, size);
      t.FieldByName("B").SetAsBlob(b);
      return b;
    };
    auto append = [&](int rows, int large_in_ten, size_t small_max, size_t large_max) {
      size_t bytes = 0;
      for (int i = 0; i < rows; ++i) {
        t.Append();
        Blob b = set(size_of(large_in_ten, small_max, large_max));
        bytes += b.size();
        t.Post();
        run.blobs[t.FieldByName("ID").AsInteger()] = std::move(b);
      }
      return bytes;
    };
    // Deletes the rows `drop` picks and gives those `change` picks a new blob.
    auto thin = [&](const std::function<bool(int64_t)>& drop, const std::function<bool(int64_t)>& change) {
      for (t.First(); !t.Eof();) {
        const int64_t id = t.FieldByName("ID").AsInteger();
        if (drop(id)) {
          t.Delete();
          run.blobs.erase(id);
          continue;
        }
        if (change(id)) {
          t.Edit();
          run.blobs[id] = set(size_of(3, 2048, 9000));
          t.Post();
        }
        t.Next();
      }
    };
    auto flush = [&] {
      t.FlushBuffers();
      if (!reopen) return;
      t.Close();
      t.Open();
    };
    const std::string mb = run.dir / "Room.MB";
    append(1200, 2, 2048, 20000);
    flush();
    thin([](int64_t id) { return id % 3 == 0; }, [](int64_t id) { return id % 4 == 1; });
    flush();
    run.size_before_reuse = std::filesystem::file_size(mb);
    run.reused_bytes = append(600, 1, 600, 9000);
    flush();
    run.size_after_reuse = std::filesystem::file_size(mb);
    // A stretch of neighbouring blocks freed at once, then blobs that need several of them.
    thin([](int64_t id) { return id >= 200 && id < 500; }, [](int64_t id) { return id % 7 == 0; });
    flush();
    append(300, 5, 2048, 30000);
    flush();
    t.Close();
  };
  Run kept, reopened;
  run_steps(kept, false);
  run_steps(reopened, true);

  // Freed slots and units were used again rather than the file grown by all that was written.
  EXPECT_LT(kept.size_after_reuse - kept.size_before_reuse, kept.reused_bytes);
  EXPECT_TRUE(FileBytes(kept.dir / "Room.MB") == FileBytes(reopened.dir / "Room.MB"));
  ASSERT_TRUE(kept.blobs == reopened.blobs);
  for (Run* run : {&kept, &reopened}) {
    EXPECT_TRUE(VerifyTable(run->dir.path(), "Room").empty());
    Session session;
    Table t(session, run->dir.path(), "Room");
    t.Open();
    ASSERT_EQ(t.RecordCount(), static_cast<int64_t>(run->blobs.size()));
    auto expected = run->blobs.begin();
    for (t.First(); !t.Eof(); t.Next(), ++expected) {
      ASSERT_EQ(t.FieldByName("ID").AsInteger(), expected->first);
      ASSERT_EQ(t.FieldByName("B").AsBlob(), expected->second) << "row " << expected->first;
    }
  }
}

// A file written keeps the room of a bounded number of blocks in mind. Past
// the bound, blobs must still go only where there is room, a release must
// bring its block's room back, and a reopen must find the room forgotten.
TEST(BlobFile, RoomBeyondTheBoundIsForgottenSafelyAndFoundAgainByAReopen) {
  struct Run {
    ScratchDir dir;
    std::map<int64_t, Blob> blobs;
    uintmax_t growth = 0;  // of the .MB while the second blobs went in
  };
  const size_t bound = BlobFile::SetRoomsKept(4);
  auto run_steps = [](Run& run, bool reopen) {
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kAutoInc, 0}, {"B", FieldType::kBlob, 10}};
    def.key_field_count = 1;
    CreateTable(session, run.dir.path(), "Room", def);
    Table t(session, run.dir.path(), "Room");
    t.Open();
    uint32_t serial = 0;
    auto append = [&](int rows, size_t size) {
      for (int i = 0; i < rows; ++i) {
        t.Append();
        Blob b = Pattern(++serial, size + serial % 50);
        t.FieldByName("B").SetAsBlob(b);
        t.Post();
        run.blobs[t.FieldByName("ID").AsInteger()] = std::move(b);
      }
    };
    // Three blobs of about 1,000 bytes a block leave room for one of 500 in each.
    append(300, 1000);
    for (t.First(); !t.Eof();) {
      const int64_t id = t.FieldByName("ID").AsInteger();
      if (id % 10 != 0) {
        t.Next();
        continue;
      }
      t.Delete();
      run.blobs.erase(id);
    }
    t.FlushBuffers();
    const std::string mb = run.dir / "Room.MB";
    const uintmax_t before = std::filesystem::file_size(mb);
    for (int batch = 0; batch < 50; ++batch) {
      append(3, 500);
      t.FlushBuffers();
      if (!reopen) continue;
      t.Close();
      t.Open();
    }
    run.growth = std::filesystem::file_size(mb) - before;
    t.Close();
  };
  Run kept, reopened;
  run_steps(kept, false);
  run_steps(reopened, true);
  BlobFile::SetRoomsKept(bound);

  // The 150 blobs of about 500 bytes fit the room of the first blocks when a
  // reopen after every three finds four more; the table left open knew of
  // four blocks only.
  EXPECT_LT(reopened.growth, kept.growth / 4);
  EXPECT_GE(kept.growth, 150u * 500 / 2);
  for (Run* run : {&kept, &reopened}) {
    EXPECT_TRUE(VerifyTable(run->dir.path(), "Room").empty());
    Session session;
    Table t(session, run->dir.path(), "Room");
    t.Open();
    ASSERT_EQ(t.RecordCount(), static_cast<int64_t>(run->blobs.size()));
    auto expected = run->blobs.begin();
    for (t.First(); !t.Eof(); t.Next(), ++expected)
      ASSERT_EQ(t.FieldByName("B").AsBlob(), expected->second) << "row " << expected->first;
  }
}

}  // namespace
}  // namespace tabulor::db
