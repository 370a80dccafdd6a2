// tabulor-db verify and pxlib, an independent reader, on an upgraded database.
#include <cstdio>
#include <unistd.h>

#include "commands.h"
#include "database_snapshot.h"

extern "C" {
#include <paradox.h>
}

namespace tabulor::upgrade::testing {
namespace {

namespace fs = std::filesystem;

// Runs `verify` with its report sent to a file, so that the test output stays readable.
std::vector<std::string> ToolVerify(const fs::path& data_dir) {
  const fs::path report = data_dir.parent_path() / "verify.txt";
  std::fflush(stdout);
  const int saved = ::dup(1);
  std::FILE* out = std::fopen(report.c_str(), "w");
  ::dup2(::fileno(out), 1);
  const int status = tools::VerifyCommand({data_dir.string()});
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  std::fclose(out);
  std::vector<std::string> problems;
  if (status != 0) {
    std::FILE* in = std::fopen(report.c_str(), "r");
    char line[1024];
    while (in && std::fgets(line, sizeof line, in))
      if (!std::string(line).ends_with(": ok\n")) problems.emplace_back(line);
    if (in) std::fclose(in);
    if (problems.empty()) problems.push_back("tabulor-db verify failed");
  }
  fs::remove(report);
  return problems;
}

std::vector<std::string> PxlibRead(const fs::path& data_dir) {
  std::vector<std::string> problems;
  for (const auto& entry : fs::directory_iterator(data_dir)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".DB" && ext != ".db") continue;
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, entry.path().c_str()) < 0) {
      problems.push_back("pxlib cannot open " + entry.path().string());
      PX_delete(doc);
      continue;
    }
    const int records = PX_get_num_records(doc);
    std::vector<char> record(static_cast<size_t>(PX_get_recordsize(doc)));
    int read = 0;
    for (int r = 0; r < records; ++r)
      if (PX_get_record(doc, r, record.data())) ++read;
    if (read != records)
      problems.push_back("pxlib read " + std::to_string(read) + " of " + std::to_string(records) + " rows of " +
                         entry.path().string());
    PX_close(doc);
    PX_delete(doc);
  }
  return problems;
}

}  // namespace

std::vector<std::string> VerifyWithTools(const fs::path& data_dir) {
  std::vector<std::string> problems = ToolVerify(data_dir);
  for (std::string& p : PxlibRead(data_dir)) problems.push_back(std::move(p));
  return problems;
}

}  // namespace tabulor::upgrade::testing
