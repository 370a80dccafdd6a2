#pragma once
// What the reading process does once it is contained (isolated_reader.h):
// reads `path` with libmdb and writes the reply frames (wire.h) to `reply_fd`,
// the rows in bounded batches as they are read, then the end frame, or an
// error frame for any failure. libmdb may still crash or loop on a damaged
// file, which is why only a contained child calls this.
#include <optional>
#include <string>

namespace tabulor::db::access {

void ServeRead(const std::string& path, const std::optional<std::string>& table, int reply_fd);

}  // namespace tabulor::db::access
