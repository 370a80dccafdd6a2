#pragma once
// Scratch directories and sample copies for the engine tests.
#include <filesystem>
#include <string>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::db::testing {

// A fresh empty directory, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string SamplesDir();  // .../samples/paradox
// Copies every file of a sample folder (e.g. "paradoxdriver/db") into `to`, writable.
void CopySampleFolder(const std::string& folder, const std::string& to);
// Every .DB file of the samples, as paths.
std::vector<std::string> AllSampleTables();

// The canonical dump of a table (as tabulor-db dump prints it).
std::string DumpTable(Session& session, const std::string& dir, const std::string& table);
// "" when equal, else the first line where two dumps differ (both versions).
std::string FirstDifference(const std::string& a, const std::string& b);
// The problems `verify` finds.
std::vector<std::string> VerifyTable(const std::string& dir, const std::string& table);
// The secondary index files (X and Y) of the table whose bytes differ from
// what building them afresh from its rows leaves, their change counters as
// the files hold them; empty when every one is exactly as built.
std::vector<std::string> IndexFilesNotAsBuilt(const std::string& dir, const std::string& table);

// build/tabulor-db run as a user runs it: exit status, stdout and stderr together.
struct ToolRun {
  int status;
  std::string out;
};
ToolRun RunTool(const std::string& args);

}  // namespace tabulor::db::testing
