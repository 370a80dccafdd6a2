#pragma once
// Reads an .mdb file in a child process, so that a damaged or hostile file
// that makes libmdb crash, loop or exhaust memory only ends that child; the
// program sees an AccessError with a clear message instead.
#include <chrono>
#include <optional>
#include <string>

#include "db/access/table_data.h"
#include "db/access/wire.h"

namespace tabulor::db::access {

struct ReaderLimits {
  std::chrono::milliseconds time_limit{30000};
  size_t memory_limit_bytes = size_t{2} << 30;  // address space of the child
  size_t reply_limit_bytes = size_t{1} << 30;
};

// The user tables of `path` and, when `table` is given, its whole content.
// Throws AccessError.
FileContents ReadIsolated(const std::string& path, const std::optional<std::string>& table,
                          const ReaderLimits& limits = {});
// The same, handing the table's rows to `rows` as they arrive rather than
// keeping them: rows handed before an error are to be dropped by the caller.
FileContents ReadIsolated(const std::string& path, const std::optional<std::string>& table,
                          const ReaderLimits& limits, const RowHandler& rows);
// The same, handing the rows still encoded as the reader sent them.
FileContents ReadIsolatedEncoded(const std::string& path, const std::optional<std::string>& table,
                                 const ReaderLimits& limits, const EncodedRowHandler& rows);

}  // namespace tabulor::db::access
