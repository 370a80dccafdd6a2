#pragma once
// The practice tables an import run writes, each on the index its lookups use,
// and the small reading helpers the record steps share.
#include <optional>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "paradox_import/import_run.h"

namespace tabulor::paradox_import {

struct ImportRun::Tables {
  Tables(db::Session& session, const std::string& database);
  // In the order their buffers are flushed at the end of the run.
  std::vector<db::Table*> FlushOrder();
  db::Table patients, documents, exams, assessments, measures, data, users, pathologies, prescribers, professions,
      posturo, exercises, norms, protocols, clefs;
};

// The current row of a detail table, or none when it has no row for its master.
inline bool HasRow(db::Table& table) {
  table.First();
  return !table.Eof();
}

inline std::string Text(db::Table& table, const char* field) { return table.FieldByName(field).AsString(); }

// A date or time as stored, a null staying null.
inline void CopyDateTime(db::Field& to, const db::Field& from) {
  if (from.IsNull()) to.Clear();
  else to.SetAsDateTime(from.AsDateTime());
}

// A text as stored: a null reads as the empty string and is written back as a null.
inline void CopyText(db::Table& to, db::Table& from, const char* field) {
  const db::Field& source = from.FieldByName(field);
  if (source.IsNull()) to.FieldByName(field).Clear();
  else to.FieldByName(field).SetAsString(source.AsString());
}

// An integer, a null reading as 0.
inline void CopyInteger(db::Table& to, db::Table& from, const char* field) {
  to.FieldByName(field).SetAsInteger(from.FieldByName(field).AsInteger());
}

// The pending new row (or pending changes) of `table` is abandoned when its step fails.
inline void CancelPending(db::Table& table) {
  if (table.State() == db::CursorState::kAppend || table.State() == db::CursorState::kEdit) table.Cancel();
}

// The key field of the row on which a table stands.
inline int64_t KeyOf(db::Table& table, const char* field) { return table.FieldByName(field).AsInteger(); }

}  // namespace tabulor::paradox_import
