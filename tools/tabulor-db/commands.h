#pragma once
// The subcommands of tabulor-db. Each takes its own arguments (after the
// subcommand's name) and returns the process exit code.
#include <ostream>
#include <string>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::tools {

using Args = std::vector<std::string>;

int InfoCommand(const Args& args);
int DumpCommand(const Args& args);
int VerifyCommand(const Args& args);
int CopyCommand(const Args& args);
int SqlCommand(const Args& args);
int AddIndexCommand(const Args& args);
int RenameCommand(const Args& args);
int RenameFieldCommand(const Args& args);
int ReindexCommand(const Args& args);

// Writes the rows of an open table in the canonical text form.
void WriteDump(std::ostream& out, db::Table& table, bool blobs_as_hex);

// A table path "dir/NAME.DB" split into its directory and file name.
struct TablePath {
  std::string directory;
  std::string table;
};
TablePath SplitTablePath(const std::string& path);

}  // namespace tabulor::tools
