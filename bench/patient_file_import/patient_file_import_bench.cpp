// The patient-file import of a large Pedora file (50,000 patients made by
// tabulor-mkmdb --pedora) against mdb-export of its table Patients, on the
// same file in one run: both times, their ratio and the peak memory of each.
// The goal is an import at most twice as long as the export. A smaller count
// may be given as the first argument.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/common/bench_util.h"
#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "patient_file_import/patient_file_run.h"
#include "shell/formats.h"

namespace {

namespace fs = std::filesystem;
using tabulor::patient_file_import::PatientFileCounts;

constexpr int kDefaultPatients = 50000;

struct Quiet : tabulor::patient_file_import::PatientFileObserver {
  void Started(int64_t) override {}
  void Progressed(int64_t) override {}
  void CountsChanged(const PatientFileCounts&) override {}
  void Reported(const std::string&) override {}
};

struct ChildRun {
  double seconds = 0;
  long peak_kb = 0;
  int status = -1;
};

// Runs `work` in a child process: its wall time, its peak resident size
// (with its own children's) and its exit status.
template <typename Work>
ChildRun InChild(Work work) {
  ChildRun run;
  pid_t pid = -1;
  int status = 0;
  rusage usage{};
  run.seconds = tabulor::bench::Seconds([&] {
    pid = fork();
    if (pid == 0) _exit(work());
    wait4(pid, &status, 0, &usage);
  });
  run.peak_kb = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The practice and the patient file of `patients` (plus the repeated first
// one) made in `root`, by a child process so that the memory this takes stays
// out of the peaks the imports inherit; the patient file's path.
fs::path Prepare(const fs::path& root, int patients) {
  fs::remove_all(root);
  fs::create_directories(root);
  const fs::path file = root / "patients.mdb";
  const std::string make = "'" TABULOR_BUILD_DIR "/tabulor-mkmdb' --pedora '" + file.string() + "' --patients " +
                           std::to_string(patients) + " --seed 11";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "bench: tabulor-mkmdb failed\n");
    std::exit(1);
  }
  const ChildRun practice = InChild([&] {
    tabulor::schema::GeneratorOptions options;
    options.patients = 200;
    tabulor::schema::GeneratePracticeDatabase(root.string(), options);
    return 0;
  });
  if (practice.status != 0) {
    std::fprintf(stderr, "bench: the practice could not be made in %s\n", root.c_str());
    std::exit(1);
  }
  return file;
}

ChildRun Import(const fs::path& root, const fs::path& file, int patients) {
  return InChild([&] {
    tabulor::shell::SetShortDateFormat("dd/mm/yy");
    tabulor::db::Session session;
    session.AddAlias("BENCH_PEDORA", tabulor::schema::DataDirectory(root.string()));
    tabulor::db::Database DB(session, "DB");
    DB.SetAliasName("BENCH_PEDORA");
    DB.Open();
    tabulor::shell::FunctionContext context;
    context.session = &session;
    context.program_dir = root.string() + "/";
    tabulor::patient_file_import::PatientFileImport run(context);
    run.OpenSource(root.string(), file.filename().string());
    Quiet quiet;
    const PatientFileCounts counts = run.Run(run.FindUser("Admin"), quiet);
    std::printf("import of %d: %llu patients added, %llu already present\n", patients + 1,
                static_cast<unsigned long long>(counts.imported), static_cast<unsigned long long>(counts.existing));
    std::fflush(stdout);
    return counts.imported + counts.existing == static_cast<uint64_t>(patients) + 1 ? 0 : 2;  // the file repeats its first patient
  });
}

}  // namespace

int main(int argc, char** argv) {
  const int patients = argc > 1 ? std::atoi(argv[1]) : kDefaultPatients;
  if (patients < 2) {
    std::fprintf(stderr, "usage: bench_patient_file_import [patients, at least 2]\n");
    return 1;
  }
  const fs::path root = fs::temp_directory_path() / ("bench-pedora-" + std::to_string(getpid()));
  const int half_patients = patients / 2;
  const fs::path file = Prepare(root / "full", patients);
  const fs::path half_file = Prepare(root / "half", half_patients);
  std::fflush(stdout);
  const ChildRun import = Import(root / "full", file, patients);
  const ChildRun half_import = Import(root / "half", half_file, half_patients);
  const std::string export_command = "mdb-export '" + file.string() + "' Patients > /dev/null";
  const ChildRun mdb_export = InChild([&] { return std::system(export_command.c_str()) == 0 ? 0 : 1; });

  std::printf("file: %d patients, %.1f MB\n", patients + 1, fs::file_size(file) / 1e6);
  std::printf("%-12s %10s %14s\n", "", "seconds", "peak memory");
  std::printf("%-12s %10.2f %11.1f MB\n", "import", import.seconds, import.peak_kb / 1024.0);
  std::printf("%-12s %10.2f %11.1f MB\n", "mdb-export", mdb_export.seconds, mdb_export.peak_kb / 1024.0);
  std::printf("ratio import / mdb-export: %.2fx (goal: at most 2)\n", import.seconds / mdb_export.seconds);
  std::printf("import peak memory, %6d patients %8.1f MB\n", patients + 1, import.peak_kb / 1024.0);
  std::printf("import peak memory, %6d patients %8.1f MB (must not be much lower)\n", half_patients + 1,
              half_import.peak_kb / 1024.0);
  fs::remove_all(root);
  if (import.status != 0 || half_import.status != 0 || mdb_export.status != 0) {
    std::fprintf(stderr, "bench: the import (%d) or mdb-export (%d) failed\n", import.status, mdb_export.status);
    return 1;
  }
  return 0;
}
