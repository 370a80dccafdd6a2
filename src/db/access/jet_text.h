#pragma once
// Jet 4 text values to UTF-8: UTF-16 little-endian, or the compressed form
// (FF FE, then runs of one-byte Latin-1 characters and of two-byte units
// that a 00 byte switches between).
#include <string>
#include <string_view>

namespace tabulor::db::access {

// Surrogate pairs become the character they encode (libmdb's UCS-2 decoding
// turns each half into '?'); a lone surrogate becomes U+FFFD, and an odd last
// byte is dropped, as libmdb drops it.
std::string Jet4TextToUtf8(std::string_view stored);

}  // namespace tabulor::db::access
