#pragma once
// An independent reading of a table through pxlib, in the canonical dump form,
// for the tables pxlib 0.6.8 can read (those without a blob file).
#include <string>

namespace tabulor::db::testing {

// The dump lines pxlib gives, with "Code:Size" (without names) in the first line.
// Text of a table without a code page is converted from `raw_charset` when given.
// Throws std::runtime_error when pxlib cannot open the table.
std::string PxlibDump(const std::string& path, const std::string& raw_charset = {});

}  // namespace tabulor::db::testing
