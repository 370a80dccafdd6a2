#pragma once
// Whether a database upgraded from `from_version` is a correct 2.8 database:
// the tables, fields and keys of `reference` (a generated 2.8 database), the
// indexes the steps build, those of the original kept, every row and blob of
// `before`, the defaults the steps fill, every version row at 2.8 and no other
// row, and files that tabulor-db verify and pxlib read. One line a problem.
#include <filesystem>
#include <string>
#include <vector>

#include "database_snapshot.h"

namespace tabulor::upgrade::testing {

std::vector<std::string> UpgradedDatabaseProblems(const std::filesystem::path& data_dir, int from_version,
                                                  const DatabaseSnapshot& before, const DatabaseSnapshot& reference);

}  // namespace tabulor::upgrade::testing
