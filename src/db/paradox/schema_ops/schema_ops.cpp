// The schema changes of the engine: ALTER TABLE, AddIndex, ChangeField,
// RenameTable, DropPrimaryKey and the rebuilding of a table's indexes. Each needs the table
// closed in this session and not held by another program, and changes the
// files as one atomic step.
#include <algorithm>
#include <memory>
#include <set>

#include "db/paradox/engine.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/file_set_writer.h"
#include "db/paradox/schema_ops/lock_files.h"
#include "db/paradox/schema_ops/rename.h"
#include "db/paradox/schema_ops/restructure.h"
#include "db/paradox/schema_ops/sql_parser.h"
#include "db/paradox/session_impl.h"

namespace tabulor::db {
namespace {

using schema_ops::TableChange;
using schema_ops::TargetField;

int FieldPosition(const TableDef& def, std::string_view name) {
  for (size_t i = 0; i < def.fields.size(); ++i)
    if (names::EqualNoCase(def.fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

// Whether a change may be made to a keyed table whose primary index file is
// missing: only those that rebuild or remove the index, or move the files as they are.
enum class PrimaryIndexFile { kRequired, kMayBeMissing };

// The table opened for a change: closed everywhere else, read without writing.
std::unique_ptr<TableFamily> OpenForChange(Session& session, std::string_view database, std::string_view table_name,
                                           PrimaryIndexFile primary_index = PrimaryIndexFile::kRequired) {
  Env& env = session.env();
  const std::string dir = session.ResolveDirectory(database);
  schema_ops::CompletePendingRenames(env, dir);
  FamilyFiles files = FamilyFiles::Find(env, dir, std::string(table_name));
  if (files.db.empty()) throw EngineError("Table " + std::string(table_name) + " does not exist in " + dir, std::string(table_name));
  if (session.IsTableOpen(files.Path(files.db)))
    throw EngineError("Table " + files.db + " is open: its structure can only change while no cursor uses it", files.db);
  locks::RequireNotHeldElsewhere(env, dir, files.db);
  // Opening rolls back a change a dead writer left half-made.
  if (env.FileExists(files.Path(storage::Journal::NameFor(files.db)))) {
    TableFamily recovering(session.shared_env(), files, files.db, true);
    schema_ops::RemoveEmptySideFiles(env, dir, files.db);
    files = FamilyFiles::Find(env, dir, files.db);
  }
  // Blob references are copied as they are: the blob file is neither read nor written.
  auto family = std::make_unique<TableFamily>(session.shared_env(), files, files.db, true, false);
  if (family->Header().encrypted) family->Fail("a password-protected table cannot be changed");
  if (primary_index == PrimaryIndexFile::kRequired) family->RequirePrimaryIndexFile();
  return family;
}

// The change that keeps every field and the key as they are.
TableChange Unchanged(const TableFamily& table) {
  TableChange change;
  const TableDef& def = table.Definition();
  for (size_t i = 0; i < def.fields.size(); ++i) change.fields.push_back({def.fields[i], static_cast<int>(i)});
  change.key_field_count = def.key_field_count;
  return change;
}

void CheckFieldName(const TableFamily& table, const std::string& name) {
  if (name.empty() || name.size() > 25) table.Fail("a field name has 1 to 25 characters", name);
  if (FieldPosition(table.Definition(), name) >= 0) table.Fail("the table already has a field named " + name, name);
}

}  // namespace

bool Session::IsTableOpen(const std::string& db_path) const {
  auto it = impl_->families.find(db_path);
  return it != impl_->families.end() && !it->second.expired();
}

void ExecSql(Session& session, std::string_view database, std::string_view statement) {
  sql::AlterTableAdd alter = sql::ParseAlterTableAdd(statement);
  auto table = OpenForChange(session, database, alter.table);
  TableChange change = Unchanged(*table);
  std::set<std::string> added;
  for (const FieldDef& f : alter.fields) {
    CheckFieldName(*table, f.name);
    if (!added.insert(names::Upper(f.name)).second) table->Fail("the statement adds the field " + f.name + " twice", f.name);
    change.fields.push_back({f, -1});
  }
  if (change.fields.size() > 255) table->Fail("a table has at most 255 fields");
  schema_ops::Restructure(session.env(), *table, change);
}

void AddIndex(Session& session, std::string_view database, std::string_view table_name, const IndexDef& index) {
  auto table = OpenForChange(session, database, table_name);
  const TableDef& def = table->Definition();
  if (index.fields.empty()) table->Fail("an index needs at least one field");
  std::vector<int> positions;
  for (const std::string& f : index.fields) {
    int pos = FieldPosition(def, f);
    if (pos < 0) table->Fail("no field named " + f + " for the index " + index.name, f);
    if (IsBlobType(def.fields[pos].type)) table->Fail("a blob field cannot be indexed", f);
    if (std::find(positions.begin(), positions.end(), pos) != positions.end())
      table->Fail("the index " + index.name + " names the field " + f + " twice", f);
    positions.push_back(pos);
  }
  if (index.primary) {
    TableChange change = Unchanged(*table);
    if (change.key_field_count > 0) table->Fail("the table already has a primary index");
    for (size_t k = 0; k < positions.size(); ++k)
      if (positions[k] != static_cast<int>(k))
        table->Fail("the fields of a primary index must be the table's first fields, in order");
    change.key_field_count = static_cast<int>(positions.size());
    schema_ops::Restructure(session.env(), *table, change);
    return;
  }
  if (index.name.empty()) table->Fail("a secondary index needs a name");
  for (const index::IndexFiles& existing : table->SecondaryIndexes())
    if (names::EqualNoCase(existing.def.name, index.name)) table->Fail("the index " + index.name + " already exists");
  if (FieldPosition(def, index.name) >= 0 && !(positions.size() == 1 && names::EqualNoCase(def.fields[positions[0]].name, index.name)))
    table->Fail("an index named after the field " + index.name + " must index that field alone");
  index::IndexFiles files;
  files.def = index;
  files.def.fields.clear();
  for (int p : positions) files.def.fields.push_back(def.fields[p].name);
  files.def.maintained = def.key_field_count > 0;  // the original engine maintains indexes of keyed tables only
  files.fields = positions;
  files.descending.assign(positions.size(), index.descending);
  std::vector<std::string> taken;
  const std::string& path = table->Path();
  const std::string dir = path.substr(0, path.find_last_of('/'));
  for (const std::string& entry : session.env().ListDirectory(dir)) taken.push_back(entry);
  const std::string file = path.substr(dir.size() + 1);
  index::ChooseFileNames(file.substr(0, file.size() - 3), taken, files);
  schema_ops::AddIndexFiles(session.env(), *table, {files});
}

void ChangeField(Session& session, std::string_view database, std::string_view table_name, std::string_view field,
                 const FieldChange& change) {
  auto table = OpenForChange(session, database, table_name);
  const int pos = FieldPosition(table->Definition(), field);
  if (pos < 0) table->Fail("no field named " + std::string(field), std::string(field));
  TableChange target = Unchanged(*table);
  FieldDef& f = target.fields[pos].def;
  if (!change.new_name.empty() && !names::EqualNoCase(change.new_name, f.name)) CheckFieldName(*table, change.new_name);
  if (!change.new_name.empty()) f.name = change.new_name;
  if (change.new_type) f.type = *change.new_type;
  if (change.new_size) f.size = *change.new_size;
  if (change.new_decimals && f.type == FieldType::kBcd) f.size = *change.new_decimals;
  if ((f.type == FieldType::kAlpha || f.type == FieldType::kBytes) && (f.size < 1 || f.size > 255))
    table->Fail("the size must be 1 to 255", f.name);
  if (pos < target.key_field_count && IsBlobType(f.type)) table->Fail("a blob field cannot be part of the key", f.name);
  schema_ops::Restructure(session.env(), *table, target);
}

void RebuildIndexes(Session& session, std::string_view database, std::string_view table_name) {
  auto table = OpenForChange(session, database, table_name, PrimaryIndexFile::kMayBeMissing);
  schema_ops::RebuildIndexFiles(session.env(), *table);
}

void DropPrimaryKey(Session& session, std::string_view database, std::string_view table_name) {
  auto table = OpenForChange(session, database, table_name, PrimaryIndexFile::kMayBeMissing);
  const std::string& path = table->Path();
  const std::string dir = path.substr(0, path.find_last_of('/'));
  const FamilyFiles files = FamilyFiles::Find(session.env(), dir, path.substr(dir.size() + 1));
  // Nothing left to drop: a run that stopped after dropping the key can be run again.
  if (table->Definition().key_field_count == 0 && files.px.empty() && files.secondary.empty()) return;
  TableChange change = Unchanged(*table);
  change.key_field_count = 0;
  change.drop_secondary_indexes = true;
  schema_ops::Restructure(session.env(), *table, change);
}

void RenameTable(Session& session, std::string_view database, std::string_view from, std::string_view to) {
  Env& env = session.env();
  const std::string dir = session.ResolveDirectory(database);
  // The files move as they are, a damaged primary index with them.
  auto table = OpenForChange(session, database, from, PrimaryIndexFile::kMayBeMissing);
  const std::string old_file = table->Name();
  table.reset();
  const std::string new_base = names::WithoutDbExtension(to);
  if (new_base.empty() || new_base.find('/') != std::string::npos || new_base.find('\\') != std::string::npos)
    throw EngineError("Table " + std::string(to) + ": not a table name", std::string(to));
  if (!FamilyFiles::Find(env, dir, new_base).db.empty())
    throw EngineError("Table " + std::string(to) + " already exists in " + dir, std::string(to));
  schema_ops::RenameFamily(env, dir, names::WithoutDbExtension(old_file), new_base);
}

}  // namespace tabulor::db
