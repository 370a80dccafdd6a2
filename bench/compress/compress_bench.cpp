// bench_compress [BLOBS] [SCRATCH_DIR] [ROUNDS]
// Builds a Data.DB of BLOBS (default 2000) raw posturography acquisitions of
// about 130 KB each (at least 200 MB in all). Each round (default 3) then
// compresses a fresh copy of it with the compression run end to end (table
// read, deflate, write back, commits) and deflates the same blobs one after
// another with zlib in a plain loop on one thread (each blob made beforehand,
// only zlib timed). Prints both times, their ratio and the median ratio, the
// CPU time each used, and the peak resident size of the runs.
#include <zlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
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

void SyncFiles(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    const int fd = ::open(entry.path().c_str(), O_RDONLY);
    if (fd >= 0) ::fsync(fd), ::close(fd);
  }
}

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

struct Round {
  double run_seconds = 0, run_cpu = 0, zlib_seconds = 0, zlib_cpu = 0;
  long peak_kb = 0;
  bool same_bytes = false;
  int64_t compressed = 0;
};

Round MeasureRound(const fs::path& base, const fs::path& work, int blobs) {
  Round r;
  fs::remove_all(work);
  fs::copy(base, work);
  SyncFiles(work);  // the copy's dirty pages are not the run's to write out
  db::Session session(db::Env::Default());
  session.AddAlias(std::string(compress::kDataAlias), work.string());
  compress::CompressEvents quiet;
  compress::CompressRun run(session, nullptr, quiet);
  ResetPeakResident();
  double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  auto start = std::chrono::steady_clock::now();
  run.Kompress(compress::kDefaultThresholdText);
  r.run_seconds = Since(start);
  r.run_cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  r.peak_kb = StatusKb("VmHWM:");
  r.compressed = run.Summary().compressed;

  uint64_t zlib_bytes = 0;
  for (int i = 0; i < blobs; ++i) {
    const db::Blob raw = BlobOf(i);
    db::Blob out(compressBound(raw.size()));
    uLongf size = out.size();
    cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    start = std::chrono::steady_clock::now();
    if (compress2(out.data(), &size, raw.data(), raw.size(), Z_DEFAULT_COMPRESSION) != Z_OK)
      throw std::runtime_error("zlib failed");
    r.zlib_seconds += Since(start);
    r.zlib_cpu += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
    zlib_bytes += size;
  }
  r.same_bytes = zlib_bytes == run.Summary().stored_bytes;
  fs::remove_all(work);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int blobs = argc > 1 ? std::atoi(argv[1]) : 2000;
  const fs::path scratch = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) /
                           ("tabulor-bench-compress-" + std::to_string(getpid()));
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  fs::remove_all(scratch);
  fs::create_directories(scratch / "base");
  try {
    const uint64_t raw_bytes = BuildTable((scratch / "base").string(), blobs);
    std::printf("%d raw acquisitions, %.1f MB in all; %d rounds of run then zlib loop, %u cores\n", blobs,
                raw_bytes / 1e6, rounds, std::thread::hardware_concurrency());
    std::vector<double> ratios;
    long peak_kb = 0;
    bool sound = true;
    for (int i = 0; i < rounds; ++i) {
      const Round r = MeasureRound(scratch / "base", scratch / "work", blobs);
      ratios.push_back(r.zlib_seconds / r.run_seconds);
      peak_kb = std::max(peak_kb, r.peak_kb);
      sound = sound && r.same_bytes && r.compressed == blobs;
      std::printf("round %d: run %.2f s (%.0f MB/s, %.2f s of CPU), plain zlib loop %.2f s (%.2f s of CPU), "
                  "ratio %.2f%s\n",
                  i + 1, r.run_seconds, raw_bytes / 1e6 / r.run_seconds, r.run_cpu, r.zlib_seconds, r.zlib_cpu,
                  ratios.back(), r.same_bytes ? "" : " -- the run did not store what zlib makes");
    }
    std::vector<double> sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    std::printf("ratio zlib loop / run, median of %d: %.2f\n", rounds, sorted[sorted.size() / 2]);
    std::printf("peak resident size during a run: %.1f MB\n", peak_kb / 1024.0);
    fs::remove_all(scratch);
    return sound ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_compress: %s\n", e.what());
    fs::remove_all(scratch);
    return 1;
  }
}
