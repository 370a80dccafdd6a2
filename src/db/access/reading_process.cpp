#include "db/access/reading_process.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <vector>

#include "db/access/libmdb_reader.h"
#include "db/access/wire.h"

namespace tabulor::db::access {
namespace {

constexpr size_t kBatchBytes = size_t{1} << 20;  // rows go back in batches of about this size
constexpr size_t kBatchRows = 4096;

void WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Sends rows in bounded batches as they are read.
class FrameSink : public RowSink {
 public:
  explicit FrameSink(int fd) : fd_(fd) {}
  void Begin(const FileContents& header) override { WriteAll(fd_, HeaderFrame(header)); }
  void Row(std::vector<Cell>&& row) override {
    for (const Cell& cell : row) batch_bytes_ += 9 + cell.text.size();
    batch_.Add(row);  // the row stays with the caller, which reads the next one into it
    if (batch_bytes_ >= kBatchBytes || batch_.Rows() >= kBatchRows) Flush();
  }
  void Flush() {
    if (batch_.Rows() > 0) WriteAll(fd_, batch_.Frame());
    batch_.Clear();
    batch_bytes_ = 0;
  }

 private:
  int fd_;
  RowsFrameBuilder batch_;
  size_t batch_bytes_ = 0;
};

}  // namespace

void ServeRead(const std::string& path, const std::optional<std::string>& table, int reply_fd) {
  // libmdb reads these; the result must not depend on the user's environment.
  for (const char* name : {"MDBPATH", "MDBICONV", "MDBOPTS", "MDB_JET3_CHARSET"}) unsetenv(name);
  std::setlocale(LC_ALL, "C");
  FrameSink sink(reply_fd);
  try {
    ReadWithLibmdb(path, table, sink);
    sink.Flush();
    WriteAll(reply_fd, EndFrame());
  } catch (const std::exception& e) {
    WriteAll(reply_fd, ErrorFrame(e.what()));
  }
}

}  // namespace tabulor::db::access
