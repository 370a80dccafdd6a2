// libFuzzer entry: the first byte chooses the reader (0 .DB, 1 .MB, 2 .PX),
// the rest is the file. A damaged file must give an EngineError or a
// std::runtime_error naming the problem, never a crash, a hang or a huge allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include "db/paradox/engine.h"
#include "db/paradox/format/blob_file.h"
#include "db/paradox/format/header.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/table_family.h"
#include "memory_env.h"

using namespace tabulor::db;

namespace {

void ReadTable(const std::shared_ptr<fuzz::MemoryEnv>& env) {
  Session session(env);
  Table t(session, "/mem", "T");
  t.SetReadOnly(true);
  t.Open();
  for (t.First(); !t.Eof(); t.Next())
    for (int i = 0; i < t.FieldCount(); ++i) {
      Field& f = t.FieldAt(i);
      try {
        (void)f.AsString();
        (void)f.AsBlob();
      } catch (const EngineError&) {
      }
    }
  FamilyFiles files = FamilyFiles::Find(*env, "/mem", "T");
  TableFamily(env, files, "T", true).Verify();
}

void ReadBlobFile(const std::shared_ptr<fuzz::MemoryEnv>& env) {
  storage::PagedFile file(env->Open("/mem/T.MB", OpenMode::kRead), "/mem/T.MB");
  format::BlobFile blobs(&file);
  // Opened only to be read, it must read every blob as the writable one does.
  format::BlobFile read_only(&file, false);
  auto read = [&](const format::BlobLeader& ref) {
    std::optional<std::vector<uint8_t>> bytes, read_only_bytes;
    try {
      bytes = blobs.Read(ref, nullptr, 0);
    } catch (const std::runtime_error&) {
    }
    try {
      read_only_bytes = read_only.Read(ref, nullptr, 0);
    } catch (const std::runtime_error&) {
    }
    if (bytes != read_only_bytes) std::abort();
  };
  blobs.ForEachBlock([&](const format::BlobFile::BlockInfo& b) {
    if (b.type == 2) {
      uint8_t h[9] = {};
      file.Read(b.offset, h, 9);
      read({b.offset | 0xFF, format::GetLe32(h + 3), format::GetLe16(h + 7)});
    }
    if (b.type == 3) {
      for (uint32_t slot = 0; slot < 64; ++slot) {
        uint8_t s[5] = {};
        file.Read(b.offset + 12 + 5 * slot, s, 5);
        uint32_t length = s[1] ? (s[1] - 1u) * 16 + s[4] : 0;
        read({b.offset | slot, length, format::GetLe16(s + 2)});
      }
    }
    // A reference to a block that is not sub-allocated.
    read({b.offset | 1, 16, 1});
  });
}

void ReadIndex(const std::shared_ptr<fuzz::MemoryEnv>& env) {
  storage::PagedFile file(env->Open("/mem/T.PX", OpenMode::kRead), "/mem/T.PX");
  uint8_t prefix[4] = {};
  file.Read(0, prefix, 4);
  std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
  raw.resize(file.Read(0, raw.data(), raw.size()));
  format::Header h = format::Header::Parse(raw, file.Size());
  if (h.IsIndexTree()) format::ReadIndexLeaves(file, h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto env = std::make_shared<fuzz::MemoryEnv>();
  std::vector<uint8_t> bytes(data + 1, data + size);
  try {
    switch (data[0] % 3) {
      case 0:
        env->Put("/mem/T.DB", std::move(bytes));
        ReadTable(env);
        break;
      case 1:
        env->Put("/mem/T.MB", std::move(bytes));
        ReadBlobFile(env);
        break;
      default:
        env->Put("/mem/T.PX", std::move(bytes));
        ReadIndex(env);
        break;
    }
  } catch (const EngineError&) {
  } catch (const std::runtime_error&) {
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
