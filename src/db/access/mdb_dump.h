#pragma once
// `tabulor-db mdb-dump FILE TABLE [--blobs hex]`: prints a table of an .mdb
// file as text, one line per row, TAB-separated, for comparison with diff.
#include <iosfwd>
#include <string>
#include <vector>

#include "db/access/table_data.h"

namespace tabulor::db::access {

// `args` are the words after "mdb-dump". Returns the process exit status.
int RunMdbDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The dump lines: "#fields" then TAB and "Name:Code:Size" per column (Jet type
// code, size in bytes); then each row. Null is \N; text escapes \ TAB LF CR;
// date-times "YYYY-MM-DD HH:MM:SS"; doubles %.17g; booleans T / F; binary
// values "blob:LEN:CRC32" or, with hex_blobs, their bytes in hex.
std::string DumpHeader(const std::vector<ColumnInfo>& columns);
std::string DumpCell(const Cell& cell, bool hex_blobs);

}  // namespace tabulor::db::access
