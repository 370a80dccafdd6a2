// The full import of a Balantis source (5,000 patients, 50,000 sequences and
// their sample files) by build/tabulor-import, against the time to read the
// same source with mdb-export (its four tables) and cat (every sample file),
// in one run: three rounds of a read then an import into a fresh copy of the
// practice, whose medians are compared, since the times of either here swing
// from one run to the next with the kernel's writeback. Prints both times,
// their ratio (goal: at most 2) and the peak resident size of the import at
// the full and at half the source size (the largest of the rounds), with
// its growth beside that of the practice written.
//
//   bench_access_import [PATIENTS]   (default 5000; ten sequences a patient)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bench_util.h"
#include "db/schema/generator/generator.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace {

namespace fs = std::filesystem;
using tabulor::bench::Median;
using tabulor::bench::Rounds;
using tabulor::bench::Seconds;

constexpr int kSequencesPerPatient = 10;

struct Import {
  double seconds = 0;
  double cpu_seconds = 0;  // user and system, with the readers it started
  double peak_mib = 0;     // the largest resident size of the import and of those readers
  int status = -1;
};

double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// tabulor-import --program-dir DIR access MDB --full, its events to a file.
Import RunImport(const fs::path& program_dir, const fs::path& mdb) {
  Import result;
  pid_t child = -1;
  std::fflush(stdout);  // the child must not print it again
  result.seconds = Seconds([&] {
    child = ::fork();
    if (child == 0) {
      const std::string tool = std::string(TABULOR_BUILD_DIR) + "/tabulor-import";
      if (!std::freopen((program_dir / "events.txt").c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout))
        ::_exit(127);
      ::execl(tool.c_str(), tool.c_str(), "--program-dir", program_dir.c_str(), "access", mdb.c_str(), "--full",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.cpu_seconds = CpuSeconds(usage);
    result.peak_mib = usage.ru_maxrss / 1024.0;
  });
  return result;
}

struct ToolsRead {
  double seconds = 0, cpu_seconds = 0;
};

ToolsRead ReadWithTools(const fs::path& source) {
  std::string command;
  for (const char* table : {"Patients", "Sequences", "Exercices", "Types"})
    command += "mdb-export '" + (source / "Balantis2000.mdb").string() + "' " + table + " > /dev/null && ";
  command += "find '" + (source / "data").string() + "' -name '*.pos' -exec cat {} + > /dev/null";
  int status = 0;
  rusage before{}, after{};
  ::getrusage(RUSAGE_CHILDREN, &before);
  ToolsRead read;
  read.seconds = Seconds([&] { status = std::system(command.c_str()); });
  ::getrusage(RUSAGE_CHILDREN, &after);
  read.cpu_seconds = CpuSeconds(after) - CpuSeconds(before);
  if (status != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return read;
}

struct Prepared {
  fs::path program, source;
  size_t files = 0;
};

// Made in a child process: the memory the fixture takes stays out of the peak
// the imports inherit from this process.
Prepared Prepare(const fs::path& root, int patients) {
  Prepared p{root / "program", root / "source", 0};
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    tabulor::schema::GeneratorOptions practice;
    practice.patients = 50;
    tabulor::schema::GeneratePracticeDatabase(p.program.string(), practice);
    tabulor::mkmdb::BalantisOptions options;
    options.patients = patients;
    options.sequences_per_patient = kSequencesPerPatient;
    tabulor::mkmdb::WriteBalantis(p.source.string(), options);
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "cannot make the source in %s\n", root.c_str());
    std::exit(1);
  }
  for (const auto& entry : fs::directory_iterator(p.source / "data")) p.files += entry.is_regular_file();
  return p;
}

constexpr int kRounds = 3;

struct Measured {
  std::vector<double> import_seconds, import_cpu, tools_seconds, tools_cpu;
  double peak_mib = 0;
};

// Each round imports into a copy of the practice as it was made.
Measured Measure(const Prepared& prepared, bool with_tools) {
  const fs::path pristine = prepared.program.string() + ".made";
  fs::rename(prepared.program, pristine);
  Measured m;
  for (int round = 0; round < kRounds; ++round) {
    if (with_tools) {
      const ToolsRead tools = ReadWithTools(prepared.source);
      m.tools_seconds.push_back(tools.seconds);
      m.tools_cpu.push_back(tools.cpu_seconds);
    }
    fs::remove_all(prepared.program);
    fs::copy(pristine, prepared.program, fs::copy_options::recursive);
    ::sync();
    const Import run = RunImport(prepared.program, prepared.source / "Balantis2000.mdb");
    if (run.status != 0) {
      std::fprintf(stderr, "tabulor-import failed (%d): see %s\n", run.status,
                   (prepared.program / "events.txt").c_str());
      std::exit(1);
    }
    m.import_seconds.push_back(run.seconds);
    m.import_cpu.push_back(run.cpu_seconds);
    m.peak_mib = std::max(m.peak_mib, run.peak_mib);
  }
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const int patients = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (patients < 2) {
    std::fprintf(stderr, "usage: bench_access_import [PATIENTS]\n");
    return 2;
  }
  const fs::path root = fs::temp_directory_path() / ("bench_access_import_" + std::to_string(::getpid()));
  fs::remove_all(root);

  const Prepared full = Prepare(root / "full", patients);
  const Prepared half = Prepare(root / "half", patients / 2);
  std::printf("source: %d patients, %d sequences, %zu sample files (%.0f MiB)\n", patients,
              patients * kSequencesPerPatient, full.files,
              tabulor::bench::DirectoryBytes(full.source) / 1048576.0);

  ReadWithTools(full.source);  // both read a source the page cache holds
  const Measured run = Measure(full, true);
  const Measured half_run = Measure(half, false);
  const double import_seconds = Median(run.import_seconds), tools_seconds = Median(run.tools_seconds);
  std::printf("%-24s %10s %10s\n", "", "wall", "cpu");
  std::printf("%-24s %8.2f s %8.2f s  (rounds: %s s)\n", "full import", import_seconds, Median(run.import_cpu),
              Rounds(run.import_seconds).c_str());
  std::printf("%-24s %8.2f s %8.2f s  (rounds: %s s)\n", "mdb-export + cat", tools_seconds, Median(run.tools_cpu),
              Rounds(run.tools_seconds).c_str());
  const double ratio = import_seconds / tools_seconds;
  std::printf("%-24s %8.2fx  %8.2fx  (goal at most 2 in wall time): %s\n", "ratio", ratio,
              Median(run.import_cpu) / Median(run.tools_cpu), ratio <= 2 ? "ok" : "MISSED");
  std::printf("peak resident, %5d patients %8.1f MiB\n", patients, run.peak_mib);
  std::printf("peak resident, %5d patients %8.1f MiB\n", patients / 2, half_run.peak_mib);
  const double written = tabulor::bench::DirectoryBytes(tabulor::schema::DataDirectory(full.program.string()));
  const double half_written = tabulor::bench::DirectoryBytes(tabulor::schema::DataDirectory(half.program.string()));
  std::printf("practice written         %8.0f MiB\n", written / 1048576.0);
  // The source costs nothing a row; what grows is the practice's map of its
  // blocks and the block caches filling up to their shared budget.
  const double per_thousand = (patients - patients / 2) / 1000.0;
  std::printf("peak resident %+.0f KiB per 1,000 more patients, for %.1f MiB more practice (%.2f%%)\n",
              (run.peak_mib - half_run.peak_mib) * 1024.0 / per_thousand,
              (written - half_written) / 1048576.0 / per_thousand,
              100.0 * (run.peak_mib - half_run.peak_mib) * 1048576.0 / (written - half_written));
  fs::remove_all(root);
  return 0;
}
