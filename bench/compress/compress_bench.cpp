// bench_compress [BLOBS] [SCRATCH_DIR]
// Builds a Data.DB of BLOBS (default 2000) raw posturography acquisitions of
// about 130 KB each (at least 200 MB in all), compresses it with the
// compression run end to end (table read, deflate, write back, commits), then
// deflates the same blobs one after another with zlib in a plain loop on one
// thread (the blobs made beforehand, only zlib timed). Prints both times, the
// ratio, and the peak resident size of the run.
#include <zlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "compress/compress_run.h"
#include "db/schema/generator/random.h"
#include "db/schema/generator/signal.h"
#include "db/schema/layout.h"
#include "db/schema/tables.h"
#include "db/schema/version.h"

namespace fs = std::filesystem;
using namespace tabulor;

namespace {

constexpr uint64_t kSeed = 20261208;

struct Shape {
  int images, dim;
};

// A plate of 128 sensors (256 bytes an image) at 40 to 100 images a second, 5 to 6 s.
Shape ShapeOf(int i) {
  schema::Rng rng(schema::MixSeed(kSeed, static_cast<uint64_t>(i)));
  return {rng.Between(420, 620), 256};
}

db::Blob BlobOf(int i) {
  const Shape s = ShapeOf(i);
  schema::Rng rng(schema::MixSeed(kSeed + 1, static_cast<uint64_t>(i)));
  return schema::AcquisitionFrames(s.images, s.dim, rng);
}

uint64_t BuildTable(const std::string& dir, int blobs) {
  db::Session session(db::Env::Default());
  const schema::TableSchema& data = schema::PracticeTable("Data");
  db::CreateTable(session, dir, "Data", schema::DefinitionAt(data, schema::kCurrentVersion));
  db::Table table(session, dir, "Data.DB");
  table.Open();
  uint64_t bytes = 0;
  for (int i = 0; i < blobs; ++i) {
    const Shape s = ShapeOf(i);
    const db::Blob blob = BlobOf(i);
    table.Append();
    table.FieldByName("TypeAcq").SetAsInteger(2);
    table.FieldByName("NbImages").SetAsInteger(s.images);
    table.FieldByName("DimImage").SetAsInteger(s.dim);
    table.FieldByName("Frequence").SetAsInteger(100);
    table.FieldByName("Data").SetAsBlob(blob);
    table.FieldByName("Zipped").SetAsInteger(0);
    table.Post();
    bytes += blob.size();
    if (i % 100 == 99) table.FlushBuffers();
  }
  table.FlushBuffers();
  return bytes;
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return -1;
}

// Makes VmHWM start again from the current resident size (Linux 4.0 and later).
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int blobs = argc > 1 ? std::atoi(argv[1]) : 2000;
  const fs::path scratch = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) /
                           ("tabulor-bench-compress-" + std::to_string(getpid()));
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  try {
    const uint64_t raw_bytes = BuildTable(scratch.string(), blobs);
    std::printf("%d raw acquisitions, %.1f MB in all\n", blobs, raw_bytes / 1e6);

    db::Session session(db::Env::Default());
    session.AddAlias(std::string(compress::kDataAlias), scratch.string());
    compress::CompressEvents quiet;
    compress::CompressRun run(session, nullptr, quiet);
    ResetPeakResident();
    const long resident_before = StatusKb("VmRSS:");
    auto start = std::chrono::steady_clock::now();
    run.Kompress(compress::kDefaultThresholdText);
    const double run_seconds = Since(start);
    const long peak = StatusKb("VmHWM:");
    const compress::RunSummary& summary = run.Summary();

    double zlib_seconds = 0;
    uint64_t zlib_bytes = 0;
    for (int i = 0; i < blobs; ++i) {
      const db::Blob raw = BlobOf(i);
      db::Blob out(compressBound(raw.size()));
      uLongf size = out.size();
      start = std::chrono::steady_clock::now();
      if (compress2(out.data(), &size, raw.data(), raw.size(), Z_DEFAULT_COMPRESSION) != Z_OK) throw std::runtime_error("zlib failed");
      zlib_seconds += Since(start);
      zlib_bytes += size;
    }

    std::printf("compression run, end to end: %.2f s (%lld rows compressed, %.1f MB stored, %.0f MB/s raw)\n",
                run_seconds, static_cast<long long>(summary.compressed), summary.stored_bytes / 1e6,
                raw_bytes / 1e6 / run_seconds);
    std::printf("plain zlib loop, one thread: %.2f s (%.1f MB out%s)\n", zlib_seconds, zlib_bytes / 1e6,
                zlib_bytes == summary.stored_bytes ? ", the same bytes as the run stored" : ", NOT what the run stored");
    std::printf("ratio zlib loop / run: %.2f (%u cores)\n", zlib_seconds / run_seconds, std::thread::hardware_concurrency());
    std::printf("peak resident size during the run: %.1f MB (%.1f MB before it)\n", peak / 1024.0, resident_before / 1024.0);
    fs::remove_all(scratch);
    return summary.compressed == blobs && zlib_bytes == summary.stored_bytes ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_compress: %s\n", e.what());
    fs::remove_all(scratch);
    return 1;
  }
}
