#pragma once
// Helpers shared by the Access layer tests: sample paths, scratch
// directories, running the external readers and reading through the layer.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "db/access/table_data.h"

namespace tabulor::db::access::testing {

std::string SamplePath(const std::string& name);  // in the shared sample folder
std::vector<std::string> SampleFiles();           // every .mdb sample

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::filesystem::path path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs argv (no shell) and returns its standard output; `status` gets the exit status.
std::string RunProgram(const std::vector<std::string>& argv, int* status = nullptr);

// The second reader (node + mdb-reader), when installed.
bool SecondReaderAvailable();
std::string SecondReaderDump(const std::string& file, const std::string& table);

// Compares two dumps line by line, reporting the first difference briefly.
::testing::AssertionResult SameDump(const std::string& ours, const std::string& theirs);

// A table read through Connection and Table.
TableData ReadThroughLayer(const std::string& file, const std::string& table);
// The dump of a table read through the layer, without the column sizes in
// its header, to compare with SecondReaderDump.
std::string LayerDump(const std::string& file, const std::string& table);

// mdb-export's rows, split on its field and row separators; NULL and empty
// texts both come out as kExportNull.
inline const std::string kExportNull = "\x02";
std::vector<std::vector<std::string>> MdbExportRows(const std::string& file, const std::string& table);
// Our cell written as mdb-export writes it (dates "%Y-%m-%d %H:%M:%S").
std::string ExportForm(const Cell& cell, const ColumnInfo& column);
// Compares two exported cells: exactly, or as numbers for doubles (mdb-export
// keeps 16 significant digits).
bool SameExportedValue(const std::string& ours, const std::string& theirs, const ColumnInfo& column);

}  // namespace tabulor::db::access::testing
