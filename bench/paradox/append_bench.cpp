// Appends N rows with a 4 KiB blob each and flushes, then looks up N random
// keys; the same rows are appended with pxlib, and the two times compared.
// Usage: paradox_append_bench [ROWS] [SCRATCH_DIR]
extern "C" {
#include <paradox.h>
}

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "db/paradox/engine.h"

namespace fs = std::filesystem;
using namespace tabulor::db;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kBlobSize = 4096;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<uint8_t> BlobFor(int i) {
  std::vector<uint8_t> b(kBlobSize);
  for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(i * 13 + k);
  return b;
}

double AppendWithEngine(const std::string& dir, int rows) {
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kLong, 0}, {"NAME", FieldType::kAlpha, 20}, {"DATA", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  CreateTable(session, dir, "Bench", def);
  auto start = Clock::now();
  Table t(session, dir, "Bench");
  t.Open();
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.FieldAt(0).SetAsInteger(i);
    t.FieldAt(1).SetAsString("row " + std::to_string(i));
    t.FieldAt(2).SetAsBlob(BlobFor(i));
    t.Post();
  }
  t.FlushBuffers();
  return Seconds(start);
}

double LookupWithEngine(const std::string& dir, int rows, int* found) {
  Session session;
  Table t(session, dir, "Bench");
  t.Open();
  std::mt19937 rng(1);
  auto start = Clock::now();
  *found = 0;
  for (int i = 0; i < rows; ++i)
    if (t.FindKey({static_cast<int64_t>(rng() % rows)})) ++*found;
  return Seconds(start);
}

void Quiet(pxdoc_t*, int, const char*, void*) {}

double AppendWithPxlib(const std::string& dir, int rows) {
  auto start = Clock::now();
  pxdoc_t* doc = PX_new2(Quiet, nullptr, nullptr, nullptr);
  pxfield_t* fields = static_cast<pxfield_t*>(doc->malloc(doc, 3 * sizeof(pxfield_t), "fields"));
  const char* names[] = {"ID", "NAME", "DATA"};
  const char types[] = {pxfLong, pxfAlpha, pxfBLOb};
  const int sizes[] = {4, 20, 20};
  for (int i = 0; i < 3; ++i) {
    fields[i].px_fname = PX_strdup(doc, names[i]);
    fields[i].px_ftype = types[i];
    fields[i].px_flen = sizes[i];
    fields[i].px_fdc = 0;
  }
  std::string db = dir + "/pxbench.db";
  if (PX_create_file(doc, fields, 3, db.c_str(), pxfFileTypIndexDB) < 0) throw std::runtime_error("pxlib cannot create");
  PX_set_parameter(doc, "targetencoding", "CP1252");
  pxblob_t* blob = PX_new_blob(doc);
  std::string mb = dir + "/pxbench.mb";
  if (PX_create_blob_file(blob, mb.c_str()) < 0) throw std::runtime_error("pxlib cannot create the blob file");
  doc->px_blob = blob;
  std::vector<char> data(kBlobSize);
  for (int i = 0; i < rows; ++i) {
    pxval_t* vals[3];
    for (auto& v : vals) {
      v = static_cast<pxval_t*>(doc->malloc(doc, sizeof(pxval_t), "val"));
      std::memset(v, 0, sizeof *v);
    }
    vals[0]->type = pxfLong;
    vals[0]->value.lval = i;
    std::string name = "row " + std::to_string(i);
    vals[1]->type = pxfAlpha;
    vals[1]->value.str.val = name.data();
    vals[1]->value.str.len = static_cast<int>(name.size());
    std::vector<uint8_t> b = BlobFor(i);
    std::memcpy(data.data(), b.data(), b.size());
    vals[2]->type = pxfBLOb;
    vals[2]->value.str.val = data.data();
    vals[2]->value.str.len = static_cast<int>(data.size());
    if (PX_insert_record(doc, vals) < 0) throw std::runtime_error("pxlib cannot insert");
    for (auto& v : vals) doc->free(doc, v);
  }
  PX_close(doc);
  PX_close_blob(blob);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  fs::path dir = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "tabulor-append-bench";
  fs::remove_all(dir);
  fs::create_directories(dir);
  double ours = AppendWithEngine(dir.string(), rows);
  int found = 0;
  double lookups = LookupWithEngine(dir.string(), rows, &found);
  double pxlib = AppendWithPxlib(dir.string(), rows);
  std::printf("rows                      %d (blob %zu bytes each)\n", rows, kBlobSize);
  std::printf("engine append + flush     %.3f s\n", ours);
  std::printf("engine %d key lookups %.3f s (%d found)\n", rows, lookups, found);
  std::printf("pxlib append              %.3f s\n", pxlib);
  std::printf("ratio engine / pxlib      %.2f\n", ours / pxlib);
  std::printf("table files: .DB %ju bytes, .MB %ju bytes\n", static_cast<uintmax_t>(fs::file_size(dir / "Bench.DB")),
              static_cast<uintmax_t>(fs::file_size(dir / "Bench.MB")));
  fs::remove_all(dir);
  return found == rows ? 0 : 1;
}
