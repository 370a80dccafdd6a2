// bench_upgrade [DATA_ROWS] [BLOB_MEGABYTES] [SCRATCH_DIR]
// Builds a version 0 practice database whose Data.DB holds DATA_ROWS rows
// (default 100000) carrying BLOB_MEGABYTES of raw acquisitions (default 1024),
// copies its directory once, then upgrades it to 2.8, in the same run: the
// ratio says how much dearer the upgrade is than merely copying the files.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "db/schema/generator/generator.h"
#include "../common/bench_util.h"
#include "upgrade/upgrade_run.h"

namespace fs = std::filesystem;
using tabulor::bench::DirectoryBytes;
using tabulor::bench::Seconds;
using namespace tabulor;

namespace {

// Fills Data.DB up to `rows` rows with blobs of about `blob_bytes` in all
// (sizes spread from half to one and a half of the mean).
void FillData(db::Session& session, const fs::path& data_dir, int64_t rows, uint64_t blob_bytes) {
  db::Table data(session, data_dir.string(), "Data");
  data.Open();
  const int64_t existing = data.RecordCount();
  const uint64_t mean = blob_bytes / static_cast<uint64_t>(rows);
  uint32_t seed = 12345;
  db::Blob blob;
  for (int64_t i = existing; i < rows; ++i) {
    const size_t size = mean / 2 + (static_cast<uint64_t>(i) * 7919) % (mean + 1);
    blob.resize(size);
    for (uint8_t& b : blob) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    data.Append();
    data.FieldByName("TypeAcq").SetAsInteger(1);
    data.FieldByName("NbImages").SetAsInteger(static_cast<int64_t>(size / 100));
    data.FieldByName("DimImage").SetAsInteger(100);
    data.FieldByName("Data").SetAsBlob(blob);
    data.Post();
    if (i % 1000 == 0) data.FlushBuffers();
  }
  data.Close();
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t rows = argc > 1 ? std::atoll(argv[1]) : 100000;
  const uint64_t blob_bytes = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024) << 20;
  const fs::path scratch = (argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path()) /
                           ("tabulor-bench-upgrade-" + std::to_string(getpid()));
  const fs::path original = scratch / "original", copied = scratch / "copied";
  fs::remove_all(scratch);
  try {
    schema::GeneratorOptions options;
    options.version = 0;
    options.patients = 200;
    schema::GeneratePracticeDatabase(original.string(), options);
    {
      db::Session session;
      FillData(session, original / "DATA", rows, blob_bytes);
    }
    const double copy = Seconds([&] { fs::copy(original, copied, fs::copy_options::recursive); });
    fs::remove_all(copied);

    db::Session session;
    session.AddAlias("KORVANE", (original / "DATA").string());
    db::Database database(session, "DB");
    database.SetAliasName("KORVANE");
    database.Open();
    db::Table versions(session, "DB", "Version.db");
    upgrade::UpgradeSetup setup;
    setup.session = &session;
    setup.version_table = &versions;
    setup.log_path = (scratch / "UPGRADE.log").string();
    int32_t result = 0;
    const double run = Seconds([&] {
      upgrade::UpgradeRun upgrade(std::move(setup));
      result = upgrade.RunUpgrade();
    });
    versions.Close();
    if (result != 1) throw std::runtime_error("the upgrade found no Patient row");

    std::printf("Data.DB rows %lld, %.0f MB of blobs, %.0f MB in the database directory\n",
                static_cast<long long>(rows), blob_bytes / 1048576.0, DirectoryBytes(original) / 1e6);
    std::printf("upgrade from version 0: %.1f s\n", run);
    std::printf("copy of the database directory (baseline): %.1f s\n", copy);
    std::printf("ratio upgrade / copy: %.2f\n", run / copy);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_upgrade: %s\n", e.what());
    fs::remove_all(scratch);
    return 1;
  }
  fs::remove_all(scratch);
  return 0;
}
