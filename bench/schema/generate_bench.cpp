// bench_schema_generate [PATIENTS] [SCRATCH_DIR]
// Generates a practice database of PATIENTS patients (default 100000) and
// copies the result once, in the same run: the ratio says how much dearer
// generating is than merely writing the same files.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "../common/bench_util.h"
#include "db/schema/generator/generator.h"

namespace fs = std::filesystem;
using tabulor::bench::DirectoryBytes;
using tabulor::bench::Seconds;

int main(int argc, char** argv) {
  tabulor::schema::GeneratorOptions options;
  options.patients = argc > 1 ? std::atoi(argv[1]) : tabulor::schema::kMaxPatients;
  const fs::path scratch = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) /
                           ("tabulor-bench-schema-" + std::to_string(getpid()));
  const fs::path generated = scratch / "generated", copied = scratch / "copied";
  fs::remove_all(scratch);
  try {
    tabulor::schema::GenerationCounts counts;
    const double generate = Seconds([&] { counts = tabulor::schema::GeneratePracticeDatabase(generated.string(), options); });
    const double copy = Seconds([&] { fs::copy(generated, copied, fs::copy_options::recursive); });
    const double megabytes = DirectoryBytes(generated) / 1e6;
    std::printf("patients %lld, examinations %lld, measurements %lld, raw acquisitions %lld, "
                "posturography rows %lld, %.0f MB written\n",
                static_cast<long long>(counts.patients), static_cast<long long>(counts.examinations),
                static_cast<long long>(counts.measurements), static_cast<long long>(counts.data_rows),
                static_cast<long long>(counts.posturo_rows), megabytes);
    std::printf("generate: %.1f s (%.0f patients/s, %.0f MB/s)\n", generate, counts.patients / generate,
                megabytes / generate);
    std::printf("copy of the result (baseline): %.1f s\n", copy);
    std::printf("ratio generate / copy: %.2f\n", generate / copy);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_schema_generate: %s\n", e.what());
    fs::remove_all(scratch);
    return 1;
  }
  fs::remove_all(scratch);
  return 0;
}
