// libFuzzer entry: the input is an .mdb file. It is read as the program reads
// a source: the reading process lists the tables, then reads each listed one
// (ServeRead, the very function the contained child runs), and the program's
// side decodes every reply (ReplyDecoder). Each reply must end with the end
// frame or an error frame; anything else, a sanitizer report, a hang or a
// huge allocation is a fault of the layer.
//
// libmdb runs here in the fuzzer's own process, without the child's
// containment: the layer checks what libmdb would trust (page 0, the table
// definitions, usage maps, rows, long values and the catalog's property
// blobs) before libmdb acts on it, so a crash or a loop inside libmdb on a
// fuzzed file shows a check the layer lacks, and is fixed by adding it.
// Only libmdb's leaks on damaged files are let through (lsan.supp): the
// reading process exits after one read.
#include <sys/mman.h>
#include <unistd.h>

#include <sanitizer/common_interface_defs.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "db/access/reading_process.h"
#include "db/access/wire.h"

using namespace tabulor::db::access;

namespace {

constexpr size_t kReplyLimit = size_t{256} << 20;
constexpr size_t kTablesRead = 6;

int file_fd = -1;
int reply_fd = -1;

[[noreturn]] void Fault(const char* what) {
  std::fprintf(stderr, "access_fuzz: %s\n", what);
  std::abort();
}

std::string TakeReply() {
  std::string reply(static_cast<size_t>(lseek(reply_fd, 0, SEEK_END)), '\0');
  if (pread(reply_fd, reply.data(), reply.size(), 0) != static_cast<ssize_t>(reply.size())) Fault("reply unreadable");
  if (ftruncate(reply_fd, 0) != 0 || lseek(reply_fd, 0, SEEK_SET) != 0) Fault("reply not reset");
  return reply;
}

// One read as Connection and Table do it; nullopt when the reader refused the file.
std::optional<FileContents> Read(const std::string& path, const std::optional<std::string>& table) {
  ServeRead(path, table, reply_fd);
  const std::string reply = TakeReply();
  ReplyDecoder decoder(kReplyLimit);
  decoder.Feed(reply);  // a malformed frame throws AccessError, which is a fault here
  if (!decoder.Finished()) Fault("reply without its end or error frame");
  if (decoder.Error()) {
    if (decoder.Error()->empty()) Fault("error frame without a message");
    return std::nullopt;
  }
  FileContents contents = decoder.Take();
  if (table && contents.table.name.empty()) Fault("table read without its name");
  for (const auto& row : contents.table.rows)
    if (row.size() != contents.table.columns.size()) Fault("row of another width than the table");
  return contents;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reader sends stderr to its warning capture while it runs: sanitizer
  // reports keep going to the real stderr.
  static int report_fd = dup(STDERR_FILENO);
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(report_fd)));
  file_fd = memfd_create("access-fuzz-file", 0);
  reply_fd = memfd_create("access-fuzz-reply", 0);
  if (file_fd < 0 || reply_fd < 0) Fault("memfd_create failed");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ftruncate(file_fd, 0) != 0 || pwrite(file_fd, data, size, 0) != static_cast<ssize_t>(size)) Fault("file not written");
  const std::string path = "/proc/self/fd/" + std::to_string(file_fd);
  try {
    const std::optional<FileContents> listing = Read(path, std::nullopt);
    if (!listing) return 0;
    for (size_t i = 0; i < listing->table_names.size() && i < kTablesRead; ++i) Read(path, listing->table_names[i]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "access_fuzz: the program's side threw: %s\n", e.what());
    std::abort();
  }
  return 0;
}
