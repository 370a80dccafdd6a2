// ALTER TABLE ... ADD on a table of 200,000 rows whose .MB holds 1 GB of
// blobs: the time it takes against the time to copy (and sync) the .DB file
// alone, and the blob file's modification time and size before and after.
// Then the cost of the secondary index at a flush: one edited row flushed
// with and without an index over the table.
// Usage: paradox_alter_bench [ROWS] [BLOB_MEGABYTES] [SCRATCH_DIR]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "db/paradox/engine.h"

namespace fs = std::filesystem;
using namespace tabulor::db;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void PrintBlobFile(const char* when, const fs::path& mb) {
  struct stat st {};
  stat(mb.c_str(), &st);
  std::printf("%-8s .MB size %lld bytes, modified %lld.%09ld\n", when, static_cast<long long>(st.st_size),
              static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec);
}

// Copies a file and syncs the copy, as a restructure syncs what it writes.
double CopyAndSync(const fs::path& from, const fs::path& to) {
  auto start = std::chrono::steady_clock::now();
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  int fd = ::open(to.c_str(), O_RDONLY);
  ::fsync(fd);
  ::close(fd);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
  const long long blob_megabytes = argc > 2 ? std::atoll(argv[2]) : 1000;
  const fs::path dir = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "tabulor-alter-bench";
  fs::remove_all(dir);
  fs::create_directories(dir);
  // Blobs of 4 KiB and 8 KiB units alternating three to one give 5 KiB a row on average.
  const size_t average = static_cast<size_t>(blob_megabytes * 1000000 / rows);
  auto start = std::chrono::steady_clock::now();
  {
    Session session;
    TableDef def;
    def.fields = {{"ID_Acq", FieldType::kAutoInc, 0}, {"TypeAcq", FieldType::kShort, 0},
                  {"NbImages", FieldType::kShort, 0}, {"Frequence", FieldType::kShort, 0},
                  {"DimImage", FieldType::kShort, 0}, {"ID_Pla", FieldType::kLong, 0},
                  {"Poids", FieldType::kNumber, 0},   {"Data", FieldType::kBlob, 10},
                  {"VP", FieldType::kLong, 0}};
    for (int i = 1; i <= 8; ++i) def.fields.push_back({"I" + std::to_string(i), FieldType::kLong, 0});
    def.key_field_count = 1;
    CreateTable(session, dir.string(), "Data", def);
    Table t(session, dir.string(), "Data");
    t.Open();
    std::vector<uint8_t> small(average * 4 / 5 - 16), large(average * 8 / 5 - 16);
    for (int i = 0; i < rows; ++i) {
      std::vector<uint8_t>& blob = i % 4 == 3 ? large : small;
      blob[0] = static_cast<uint8_t>(i);
      t.Append();
      t.FieldByName("TypeAcq").SetAsInteger(i % 7);
      t.FieldByName("NbImages").SetAsInteger(i % 1000);
      t.FieldByName("ID_Pla").SetAsInteger(i);
      t.FieldByName("Data").SetAsBlob(blob);
      t.Post();
      if (i % 20000 == 19999) t.FlushBuffers();
    }
    t.Close();
  }
  std::printf("table of %d rows written in %.1f s: .DB %lld bytes, .MB %lld bytes\n", rows, Seconds(start),
              static_cast<long long>(fs::file_size(dir / "Data.DB")), static_cast<long long>(fs::file_size(dir / "Data.MB")));

  const double copy_s = CopyAndSync(dir / "Data.DB", dir / "copy-of-Data.DB");
  fs::remove(dir / "copy-of-Data.DB");
  PrintBlobFile("before", dir / "Data.MB");
  start = std::chrono::steady_clock::now();
  {
    Session session;
    ExecSql(session, dir.string(), "ALTER TABLE Data ADD ZIPPED INTEGER");
  }
  const double alter_s = Seconds(start);
  PrintBlobFile("after", dir / "Data.MB");
  std::printf("ALTER TABLE Data ADD ZIPPED INTEGER: %.3f s\n", alter_s);
  std::printf("copy and sync of Data.DB alone:     %.3f s\n", copy_s);
  std::printf("ratio (alter / copy):               %.2f\n", alter_s / copy_s);

  // The best of three edits and flushes of the middle row.
  auto edit_and_flush = [&](int row_value) {
    Session session;
    Table t(session, dir.string(), "Data");
    t.Open();
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
      t.FindKey({int64_t{rows / 2}});
      auto flush_start = std::chrono::steady_clock::now();
      t.Edit();
      t.FieldByName("ID_Pla").SetAsInteger(row_value - round);
      t.Post();
      t.FlushBuffers();
      best = std::min(best, Seconds(flush_start));
    }
    return best;
  };
  const double plain_s = edit_and_flush(-1);
  start = std::chrono::steady_clock::now();
  {
    Session session;
    IndexDef index{"Par plateau", {"ID_Pla", "TypeAcq"}};
    AddIndex(session, dir.string(), "Data", index);
  }
  std::printf("AddIndex over ID_Pla;TypeAcq:       %.3f s\n", Seconds(start));
  const double indexed_s = edit_and_flush(-2);
  std::printf("one edited row flushed, no index:   %.3f s\n", plain_s);
  std::printf("the same with the secondary index:  %.3f s (ratio %.2f)\n", indexed_s, indexed_s / plain_s);
  fs::remove_all(dir);
  return 0;
}
