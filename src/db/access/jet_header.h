#pragma once
// Page 0 of a Jet file, as stored: the region from 0x18 is masked with a
// fixed RC4 keystream, and inside it lies the database password at 0x42
// (Jet 3: 20 bytes; Jet 4: 40 bytes of UCS-2, further XORed with the integer
// part of the creation date at 0x72, repeated). libmdb ignores the password
// and reads a protected database as if it had none.
#include <cstddef>
#include <cstdint>

namespace tabulor::db::access {

// Whether the header page `page` (`size` bytes, whole page 0) names a
// database password. A page too short to hold the password area has none.
bool HasDatabasePassword(const uint8_t* page, size_t size, bool jet3);

}  // namespace tabulor::db::access
