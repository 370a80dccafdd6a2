#pragma once
// libmdb for C++: mdbtools.h 1.0.0 includes glib.h inside its extern "C"
// block, which breaks C++; including glib.h first makes that inner include a
// no-op. Only the reading process uses libmdb (libmdb_reader.h).
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tabulor::db::access {

// Whole pages the file holds; a trailing partial page does not count.
uint32_t PageCount(MdbHandle* mdb);

// A copy of page `page`, read through libmdb's second page buffer (so the
// page being scanned stays in place) and decrypted as libmdb decrypts.
// Throws AccessError when the page lies beyond the end of the file.
std::vector<uint8_t> ReadPageCopy(MdbHandle* mdb, uint32_t page);

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace tabulor::db::access
