#pragma once
// The text rules of the canonical table dump, shared by `tabulor-db dump`
// (Paradox tables) and `tabulor-db mdb-dump` (Access tables).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulor::db {

// Backslash, TAB, LF and CR written as \\ \t \n \r.
std::string DumpEscaped(std::string_view text);
// "blob:LEN:CRC" (zlib crc32 in 8 lower-case hex digits), or the bytes in lower-case hex.
std::string DumpBlob(const uint8_t* data, size_t size, bool hex);

}  // namespace tabulor::db
