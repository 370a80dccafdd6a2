#pragma once
// The patterns the version steps are made of. Each one leaves the run's table
// object closed.
#include <functional>
#include <string_view>

#include "db/paradox/engine.h"

namespace tabulor::upgrade {

class UpgradeRun;

// Points the run's table at `table` and opens it.
db::Table& OpenTable(UpgradeRun& run, std::string_view table);
// Whether `table` has `field` (the table is opened and closed again).
bool TableHasField(UpgradeRun& run, std::string_view table, std::string_view field);

// A field addition: `statement` runs only when `table` lacks `test_field`.
// Returns whether it ran.
bool AddFieldsUnlessPresent(UpgradeRun& run, std::string_view table, std::string_view test_field,
                            std::string_view statement);

// Appends a Version.db row for `table` at the required version unless one exists.
void RegisterTable(UpgradeRun& run, std::string_view table);

enum class IndexPresence { kAbsent, kSame, kDifferent };
// Whether `table` has an index named as `index` (for a primary one: a primary
// key on the same fields with its index file), and with the same fields and options.
IndexPresence FindIndex(UpgradeRun& run, std::string_view table, const db::IndexDef& index);
// Adds `index` to `table`; an index that is already there with the same fields
// and options is kept (a run that stopped after adding it can be run again);
// another index under that name is an error.
void AddIndexUnlessPresent(UpgradeRun& run, std::string_view table, const db::IndexDef& index);

// Per-row fill: `fill` sees every row in turn and edits and posts it when
// needed; a row whose change fails keeps its old values and the pass goes on.
// Flushes and closes the table at the end.
void FillRowsIgnoringErrors(UpgradeRun& run, std::string_view table, const std::function<void(db::Table&)>& fill);

}  // namespace tabulor::upgrade
