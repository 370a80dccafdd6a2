#pragma once
// build/tabulor-import run as the scheduled task runs it, on a generated
// program directory, and the practice it leaves: dumps of the tables an Access
// import writes and `tabulor-db verify`.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tabulor::access_import::testing {

struct ImportOutcome {
  int exit_status = -1;  // when it exited
  int signal = 0;        // when a signal ended it
  std::string err;       // what it wrote to standard error
};

// Program directories below a scratch root, each a copy of one generated
// practice ("base", three patients); removed with the object.
class ProgramDirs {
 public:
  explicit ProgramDirs(const std::string& tag);
  ~ProgramDirs();
  const std::filesystem::path& Root() const { return root_; }
  // `name` made a fresh copy of the base; its path.
  std::string Fresh(const std::string& name) const;
  std::string Data(const std::string& name) const;

 private:
  std::filesystem::path root_;
};

// tabulor-import --program-dir `program_dir` `args`..., with `environment` added to its own.
ImportOutcome RunImportTool(const std::string& program_dir, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& environment = {});

// The dumps of the tables the import writes, in one text; the day of the import
// (DATE_PAT) is left out so that runs of different days compare.
std::string PracticeState(const std::string& data_dir);
// The same of Patient.DB alone.
std::string PatientState(const std::string& data_dir);

// "" when pxlib, an independent reader, reads `table` (one without a blob file)
// as the engine does; else the first line where they differ.
std::string PxlibDifference(const std::string& data_dir, const std::string& table);

// What `tabulor-db verify` says of every table of `data_dir`; empty when it passes.
std::string VerifyProblems(const std::string& data_dir);

// The shared library that kills a program at its Nth change to a directory.
std::string KillLibrary();

}  // namespace tabulor::access_import::testing
