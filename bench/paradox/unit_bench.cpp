// The cost of a unit of work: the same rows (a 16 KiB blob each, a secondary
// index) appended into three tables with a flush every 500 rows, once with
// each table committing its own flushes and once inside one unit of work.
// Usage: paradox_unit_bench [ROWS_PER_TABLE] [SCRATCH_DIR]
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../common/bench_util.h"
#include "db/paradox/engine.h"
#include "db/paradox/unit_of_work.h"

namespace fs = std::filesystem;
using namespace tabulor::db;

namespace {

const char* const kTables[] = {"Patient", "Visit", "Data"};

void Prepare(const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  Session s;
  TableDef def;
  def.fields = {{"ID", FieldType::kLong, 0}, {"NAME", FieldType::kAlpha, 20}, {"DATA", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  def.indexes.push_back({"ByName", {"NAME"}, false, false, true});
  for (const char* name : kTables) CreateTable(s, dir, name, def);
}

void Fill(Session& s, const std::string& dir, int rows) {
  std::vector<uint8_t> blob(16384);
  for (const char* name : kTables) {
    Table t(s, dir, name);
    t.Open();
    for (int i = 0; i < rows; ++i) {
      for (size_t k = 0; k < blob.size(); k += 512) blob[k] = static_cast<uint8_t>(i + k);
      t.Append();
      t.FieldByName("ID").SetAsInteger(i);
      t.FieldByName("NAME").SetAsString("name" + std::to_string(i % 997));
      t.FieldByName("DATA").SetAsBlob(blob);
      t.Post();
      if (i % 500 == 499) t.FlushBuffers();
    }
    t.Close();
  }
}

double PeakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::stoi(argv[1]) : 20000;
  const std::string scratch = argc > 2 ? argv[2] : (fs::temp_directory_path() / "paradox_unit_bench").string();
  const std::string a = scratch + "/per_table", b = scratch + "/unit";
  Prepare(a);
  Prepare(b);
  const double per_table = tabulor::bench::Seconds([&] {
    Session s;
    Fill(s, a, rows);
  });
  const double unit = tabulor::bench::Seconds([&] {
    Session s;
    UnitOfWork work(s, b);
    Fill(s, b, rows);
    work.Commit();
  });
  std::printf("%d rows with a 16 KiB blob into each of 3 tables (%.0f MB of blobs)\n", rows, 3.0 * rows * 16384 / 1e6);
  std::printf("per-table flushes: %.2f s\n", per_table);
  std::printf("one unit of work:  %.2f s\n", unit);
  std::printf("ratio unit / per-table: %.2f\n", unit / per_table);
  std::printf("peak resident size of the whole run: %.0f MB\n", PeakMegabytes());
  fs::remove_all(scratch);
}
