// Cost of reading .mdb tables in an isolated child process (what the program
// does) against reading them with libmdb in the process itself (the
// baseline), on the same files in one run. Prints the ratio per file.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "db/access/isolated_reader.h"
#include "db/access/libmdb_reader.h"

namespace {

using tabulor::db::access::FileContents;

template <typename Read>
double SecondsPerPass(Read read, int passes, size_t& rows) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < passes; ++i) rows = read();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / passes;
}

}  // namespace

int main() {
  const std::string dir = std::string(TABULOR_SHARED_DIR) + "/samples/access/";
  std::printf("%-28s %8s %12s %12s %8s\n", "file", "rows", "in-process", "isolated", "ratio");
  for (const char* name : {"nwind.mdb", "compIndexTestV2003.mdb", "testUnicodeCompV2003.mdb", "test2V2003.mdb"}) {
    const std::string path = dir + name;
    const auto tables = tabulor::db::access::ReadWithLibmdb(path, std::nullopt).table_names;
    auto read_all = [&](auto reader) {
      size_t rows = 0;
      for (const auto& table : tables) rows += reader(path, table).table.rows.size();
      return rows;
    };
    size_t direct_rows = 0, isolated_rows = 0;
    const int passes = 20;
    const double direct = SecondsPerPass(
        [&] { return read_all([](const std::string& p, const std::string& t) { return tabulor::db::access::ReadWithLibmdb(p, t); }); },
        passes, direct_rows);
    const double isolated = SecondsPerPass(
        [&] { return read_all([](const std::string& p, const std::string& t) { return tabulor::db::access::ReadIsolated(p, t); }); },
        passes, isolated_rows);
    if (direct_rows != isolated_rows) {
      std::fprintf(stderr, "%s: %zu rows in process, %zu isolated\n", name, direct_rows, isolated_rows);
      return 1;
    }
    std::printf("%-28s %8zu %10.2f ms %10.2f ms %7.2fx\n", name, direct_rows, direct * 1e3, isolated * 1e3,
                isolated / direct);
  }
  return 0;
}
