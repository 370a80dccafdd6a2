#pragma once
// The stored layout of a compressed acquisition: exactly one zlib stream
// (RFC 1950) of the raw bytes, made by zlib with the default level, a 15-bit
// window, memory level 8 and the default strategy, so that it starts with the
// two bytes 78 9C and ends with the Adler-32 of the raw bytes. Nothing is put
// before or after it: readers inflate up to the end of the stream.
#include <cstdint>
#include <span>

#include "db/paradox/types.h"

namespace tabulor::compress {

// Throws std::runtime_error carrying zlib's message when zlib fails.
db::Blob DeflateBlob(std::span<const uint8_t> raw);

}  // namespace tabulor::compress
