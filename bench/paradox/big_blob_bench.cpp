// Opens a table whose .MB holds 2 GiB of blobs and walks every row reading its
// blob, in a child process, and prints that process's peak resident size.
// Then copies, as stored (CopyRecordFrom, as the Paradox import does), a blob
// of 4 MiB and one of 200 MiB into new tables, each in a child process, and
// prints their peak resident sizes: a copy must not grow with the blob.
// Usage: paradox_big_blob_bench [MEGABYTES] [SCRATCH_DIR]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "db/paradox/engine.h"

namespace fs = std::filesystem;
using namespace tabulor::db;

namespace {

// In a child process: copies row `row` of Raw (its blob as stored) into a new
// table; gives the child's peak resident size in MiB and the seconds taken.
bool CopyInChild(const fs::path& dir, int row, uint64_t expected, double* peak_mib, double* seconds) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    auto start = std::chrono::steady_clock::now();
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kAutoInc, 0}, {"DATA", FieldType::kBlob, 10}};
    const std::string name = "Copy" + std::to_string(row);
    CreateTable(session, dir.string(), name, def);
    Table raw(session, dir.string(), "Raw"), copy(session, dir.string(), name);
    raw.Open();
    copy.Open();
    raw.First();
    for (int i = 0; i < row; ++i) raw.Next();
    copy.Append();
    copy.CopyRecordFrom(raw);
    copy.Post();
    copy.Close();
    copy.Open();
    copy.First();
    const bool same = copy.FieldAt(1).BlobSize() == expected;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    double result[3] = {same ? 1.0 : 0.0, static_cast<double>(ru.ru_maxrss) / 1024.0, s};
    (void)!write(pipefd[1], result, sizeof result);
    _exit(0);
  }
  double result[3] = {};
  (void)!read(pipefd[0], result, sizeof result);
  waitpid(pid, nullptr, 0);
  *peak_mib = result[1];
  *seconds = result[2];
  return result[0] == 1.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int megabytes = argc > 1 ? std::atoi(argv[1]) : 2048;
  fs::path dir = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "tabulor-big-blob-bench";
  fs::remove_all(dir);
  fs::create_directories(dir);
  constexpr size_t kBlob = 4 << 20;  // 4 MiB a row
  const int rows = megabytes / 4;
  auto start = std::chrono::steady_clock::now();
  {
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kAutoInc, 0}, {"DATA", FieldType::kBlob, 10}};
    def.key_field_count = 1;
    CreateTable(session, dir.string(), "Big", def);
    Table t(session, dir.string(), "Big");
    t.Open();
    std::vector<uint8_t> blob(kBlob);
    for (int i = 0; i < rows; ++i) {
      for (size_t k = 0; k < blob.size(); k += 4096) blob[k] = static_cast<uint8_t>(i + k);
      t.Append();
      t.FieldAt(1).SetAsBlob(blob);
      t.Post();
      if (i % 64 == 63) t.FlushBuffers();
    }
    t.Close();
  }
  double write_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int pipefd[2];
  if (pipe(pipefd) != 0) return 1;
  pid_t pid = fork();
  if (pid == 0) {
    auto walk_start = std::chrono::steady_clock::now();
    Session session;
    Table t(session, dir.string(), "Big");
    t.Open();
    uint64_t bytes = 0;
    for (t.First(); !t.Eof(); t.Next()) bytes += t.FieldAt(1).AsBlob().size();
    t.Close();
    double walk_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - walk_start).count();
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    double result[3] = {static_cast<double>(bytes), static_cast<double>(ru.ru_maxrss) / 1024.0, walk_s};
    (void)!write(pipefd[1], result, sizeof result);
    _exit(0);
  }
  double result[3] = {};
  (void)!read(pipefd[0], result, sizeof result);
  waitpid(pid, nullptr, 0);
  std::printf(".MB size                  %.1f MiB (%d rows of %zu MiB), written in %.1f s\n",
              static_cast<double>(fs::file_size(dir / "Big.MB")) / (1 << 20), rows, kBlob >> 20, write_s);
  std::printf("walk: read %.1f MiB of blobs in %.2f s\n", result[0] / (1 << 20), result[2]);
  std::printf("peak resident size        %.1f MiB (limit 200 MiB): %s\n", result[1], result[1] < 200 ? "ok" : "TOO LARGE");

  // Copies as stored: a 4 MiB and a 200 MiB blob.
  constexpr uint64_t kSmall = 4 << 20, kLarge = 200 << 20;
  {
    Session session;
    TableDef def;
    def.fields = {{"ID", FieldType::kAutoInc, 0}, {"DATA", FieldType::kBlob, 10}};
    CreateTable(session, dir.string(), "Raw", def);
    Table t(session, dir.string(), "Raw");
    t.Open();
    for (uint64_t size : {kSmall, kLarge}) {
      std::vector<uint8_t> blob(size);
      for (size_t k = 0; k < blob.size(); k += 512) blob[k] = static_cast<uint8_t>(k >> 9);
      t.Append();
      t.FieldAt(1).SetAsBlob(blob);
      t.Post();
    }
    t.Close();
  }
  double small_peak = 0, large_peak = 0, small_s = 0, large_s = 0;
  const bool copied = CopyInChild(dir, 0, kSmall, &small_peak, &small_s) && CopyInChild(dir, 1, kLarge, &large_peak, &large_s);
  const bool bounded = copied && large_peak < small_peak + 32;
  std::printf("copy as stored, 4 MiB blob   peak resident size %.1f MiB (%.2f s)\n", small_peak, small_s);
  std::printf("copy as stored, 200 MiB blob peak resident size %.1f MiB (%.2f s): %.2f times the 4 MiB copy's, %s\n",
              large_peak, large_s, large_peak / small_peak,
              !copied ? "COPY WRONG" : bounded ? "ok (does not grow with the blob)" : "GROWS WITH THE BLOB");
  fs::remove_all(dir);
  return result[1] < 200 && bounded ? 0 : 1;
}
