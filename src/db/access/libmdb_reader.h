#pragma once
// Direct reading through libmdb. libmdb trusts the file it reads and can crash
// on a damaged one: call this only inside an isolated reader process
// (isolated_reader.h), never in the program itself.
#include <optional>
#include <string>
#include <vector>

#include "db/access/table_data.h"

namespace tabulor::db::access {

// Receives a read as it goes: first the table names and the requested
// table's columns (no rows), then each row of that table.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Begin(const FileContents& header) = 0;
  virtual void Row(std::vector<Cell>&& row) = 0;
};

// Opens `path` (a database protected by a password is refused with
// AccessError), lists its user tables and, when `table` is given, reads that
// table row by row into `sink`. Returns only once the whole table has been
// read and checked; throws AccessError when the file or the table is damaged
// (rows given to the sink before that must then be dropped): a row libmdb
// cannot locate or decode, a warning libmdb prints while reading, a number of
// rows other than the definition's, a definition or usage map that does not
// hold together.
void ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table, RowSink& sink);

// The same, collected in memory.
FileContents ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table);

}  // namespace tabulor::db::access
