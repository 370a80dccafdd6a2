#pragma once
// The lock files through which the original engine shares a directory of
// tables between programs: PDOXUSRS.NET (the network control file, in the
// engine's network directory, often the data directory itself), PDOXUSRS.LCK
// (the lock list of the directory, naming every table some program has open
// or locked), PARADOX.LCK (the directory lock of the older protocol) and
// <table>.LCK (the per-table lock file of the DOS versions up to 3.5).
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::locks {

// Why another program holds the table; empty when none does.
std::vector<std::string> HoldersOf(Env& env, const std::string& directory, const std::string& table_file);

// Throws EngineError, changing nothing, when another program holds the table.
void RequireNotHeldElsewhere(Env& env, const std::string& directory, const std::string& table_file);

}  // namespace tabulor::db::locks
