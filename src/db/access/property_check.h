#pragma once
// Checks of the property blobs of the catalog (the LvProp column of
// MSysObjects, "KKD" or "MR2" records), which libmdb parses while it reads
// the catalog without looking at their lengths: a record of length 0 makes
// it loop for ever, one longer than the blob makes it read beyond it. Throws
// AccessError. No libmdb: the blob comes from the checked reading.
#include <string_view>

namespace tabulor::db::access {

void CheckPropertyBlob(std::string_view blob);

}  // namespace tabulor::db::access
