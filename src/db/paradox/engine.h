#pragma once
// The database engine operations the program asks for: aliases, databases,
// table cursors, rows, search, fields and schema changes, on Paradox tables
// in their real on-disk format.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/error.h"
#include "db/paradox/types.h"

namespace tabulor::db {

class Table;
class TableFamily;  // the engine's open files of one table (.DB .PX .MB and indexes)

// The engine session: aliases live in memory for the running program; a
// persistent alias file may be loaded into it.
class Session {
 public:
  explicit Session(std::shared_ptr<Env> env = Env::Default());
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The process-wide session ("Default").
  static Session& Default();

  bool AliasExists(std::string_view name) const;
  void AddAlias(std::string_view name, std::string_view path, std::string_view driver = "PARADOX");
  void DeleteAlias(std::string_view name);
  // The alias's PATH; throws EngineError for a missing alias.
  std::string AliasPath(std::string_view name) const;
  // Reads aliases from the persistent alias file (format in the README); a
  // missing file adds none.
  void LoadAliasFile(const std::string& path);
  // `tabulor-aliases.ini` in the directory of the running program.
  static std::string DefaultAliasFilePath();

  // The directory that a database name, an alias name or a directory path stands for.
  std::string ResolveDirectory(std::string_view database_or_alias) const;

  // Whether a cursor of this session has the table at this .DB path open.
  bool IsTableOpen(const std::string& db_path) const;

  Env& env() { return *env_; }
  std::shared_ptr<Env> shared_env() { return env_; }

 private:
  friend class Database;
  friend class Table;
  friend class UnitOfWork;
  struct Impl;
  std::shared_ptr<Env> env_;
  std::unique_ptr<Impl> impl_;
};

// A named database ("DB", "DBImport") bound to an alias.
class Database {
 public:
  Database(Session& session, std::string name);
  ~Database();
  void SetAliasName(std::string alias);
  const std::string& AliasName() const { return alias_; }
  const std::string& Name() const { return name_; }
  // Fails when the alias is unknown or its directory does not exist.
  void Open();
  void Close();
  bool Connected() const { return connected_; }
  std::string Directory() const;
  Session& session() { return session_; }

 private:
  Session& session_;
  std::string name_;
  std::string alias_;
  bool connected_ = false;
};

class Field {
 public:
  const std::string& Name() const;
  FieldType Type() const;
  int Size() const;  // declared size (FieldDef::size)
  int Index() const; // position in the table, from 0

  bool IsNull() const;
  std::string AsString() const;  // null gives ""
  int64_t AsInteger() const;     // null gives 0
  double AsFloat() const;        // null gives 0
  bool AsBoolean() const;        // null gives false
  DateTime AsDateTime() const;   // null gives a DateTime without date
  Value AsVariant() const;
  Blob AsBlob() const;           // blob to a byte stream (also for M: the text's bytes in the table code page)
  uint64_t BlobSize() const;

  // Writes need the cursor in edit or append state. A text longer than an A
  // field is cut to its size; a character the table's code page cannot hold is an error.
  void SetAsString(std::string_view v);
  void SetAsInteger(int64_t v);
  void SetAsFloat(double v);
  void SetAsBoolean(bool v);
  void SetAsDateTime(const DateTime& v);
  void SetAsVariant(const Value& v);
  void SetAsBlob(std::span<const uint8_t> bytes);  // blob from a byte stream
  void Clear();
  // Copies another field's value (of this or another table), converting as needed.
  void Assign(const Field& other);
  // Copies the blob of another blob field (of this or another table). When both
  // hold the same kind of blob (same type; for a memo, the same code page) its
  // stored bytes go across unchanged, never read as a value (a picture keeps
  // its stored prefix, a memo is not converted); otherwise as Assign. A null
  // stays null. EngineError when either field is not a blob.
  void CopyBlobFrom(const Field& other);

 private:
  friend class Table;
  Field(Table* table, int index) : table_(table), index_(index) {}
  Table* table_;
  int index_;
};

enum class CursorState { kInactive, kBrowse, kEdit, kAppend };

// How Table::CopyRecordFrom pairs the fields of two tables.
struct RecordCopy {
  enum class Match { kByName, kByPosition };
  Match match = Match::kByName;
  // Only these fields, by name (both tables must have each); empty: every
  // field that has a counterpart in the other table.
  std::vector<std::string> fields = {};
  // Destination fields before this position are left as they are.
  int first_field = 0;
  // An autoincrement field of the destination is left for Post to number,
  // unless the source's value is kept (a copy of a whole table keeps its numbers).
  bool keep_autoinc = false;
};

struct FieldChange {
  std::string new_name;               // empty: keep
  std::optional<FieldType> new_type;  // keep when absent
  std::optional<int> new_size;
  std::optional<int> new_decimals;
};

// A table cursor: database name (or alias, or directory) plus table name, with
// or without ".DB". Table and field names are compared without regard to case
// and file names are found on disk whatever their case.
class Table {
 public:
  Table(Session& session, std::string database, std::string table_name);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  void SetDatabaseName(std::string database);
  void SetTableName(std::string table_name);
  const std::string& TableName() const { return table_name_; }

  // Settable before opening.
  void SetReadOnly(bool v);
  void SetExclusive(bool v);
  // Current index by name ("" = primary) or by a field list "A;B".
  void SetIndexName(std::string name);
  void SetIndexFieldNames(std::string fields);
  // Detail cursor: holds only the rows whose current index's leading fields
  // equal the master's named fields ("A;B") in its current row; a closed master
  // gives all rows. May be changed while open.
  void SetMasterSource(Table* master, std::string master_fields);

  // A keyed table whose primary index file is missing opens only read-only.
  void Open();
  // Opens the table only when its files pass the checks of VerifyTable, before
  // any row is read for a cursor; else it stays closed and the problems found
  // are returned. The checked files serve the open table, read once.
  std::vector<std::string> OpenVerified();
  void Close();
  bool Active() const;
  bool Exists() const;

  int64_t RecordCount() const;
  int FieldCount() const;
  const TableDef& Definition() const;

  void First();
  void Next();
  void Last();
  void Prior();
  bool Eof() const;
  bool Bof() const;
  CursorState State() const;

  void Append();  // the autoincrement field is assigned at Post and readable after it
  void Edit();
  void Post();
  void Cancel();
  void Delete();  // on a row being appended: discards it
  void FlushBuffers();  // atomic: after a crash the table is as at the last completed flush

  // Values for the leading fields of the current index, in order.
  bool FindKey(const std::vector<Value>& key);
  bool Locate(std::string_view field, const Value& value, bool case_insensitive = true);

  // Copies the fields of `source`'s current row (or of its row being edited)
  // into this table's row being edited or appended; returns how many were set.
  // A null stays null; a field of the same type, size and (for text) code page
  // goes across in its stored form, any other is converted as Field::Assign
  // does; blobs go as Field::CopyBlobFrom. Destination fields without a
  // counterpart keep their value (blank on an appended row); source fields
  // without one are ignored. EngineError when `source` has no current row.
  int CopyRecordFrom(Table& source, const RecordCopy& how = {});

  Field* FindField(std::string_view name);   // nullptr when absent
  Field& FieldByName(std::string_view name); // EngineError when absent
  Field& FieldAt(int index);

  // The directory and the .DB path of the table (valid once resolved).
  std::string Directory() const;
  std::string Path() const;

  Session& session() { return session_; }

 private:
  friend class Field;
  struct Impl;
  void RequireActive() const;
  void RequireBrowse();
  void ApplyOrder();
  std::vector<int> IndexFields() const;
  void Sync();
  // Before a move in the order of a view: the view a search through the index files let go is built again.
  void RestoreView();
  void ReadBlockOrderRows(bool filtered, const std::vector<Value>& master_values);
  int FindCurrentInView() const;
  int PlaceOfChangedRow() const;
  void PrepareWrite();
  void Capture();
  void SetViewIndex(int index);
  void Release();
  void AttachFamily();  // the table's open files, shared with the session's other cursors on it
  void FinishOpen();
  Session& session_;
  std::string database_;
  std::string table_name_;
  std::unique_ptr<Impl> impl_;
};

// Schema operations. `database` is a database name, alias or directory. A keyed
// table whose primary index file is missing is damaged: only RebuildIndexes,
// DropPrimaryKey, RenameTable and DeleteTableFiles take it.
void CreateTable(Session& session, std::string_view database, std::string_view table_name,
                 const TableDef& def);
// One local SQL statement without result set (ALTER TABLE t ADD f type, ...).
void ExecSql(Session& session, std::string_view database, std::string_view statement);
// Adds an index to a closed table: fields separated by ";".
void AddIndex(Session& session, std::string_view database, std::string_view table_name,
              const IndexDef& index);
void RenameTable(Session& session, std::string_view database, std::string_view from,
                 std::string_view to);
// Changes one field (name, type, size, decimals); needs exclusive use.
void ChangeField(Session& session, std::string_view database, std::string_view table_name,
                 std::string_view field, const FieldChange& change);
bool TableExists(Session& session, std::string_view database, std::string_view table_name);
// Rebuilds the primary and every secondary index file of a closed table from
// its rows and key fields, also a primary index file that is missing.
void RebuildIndexes(Session& session, std::string_view database, std::string_view table_name);
// Rewrites a closed table without its key, removing its primary and every
// secondary index file, in one atomic change. A table without key or index files is left as it is.
void DropPrimaryKey(Session& session, std::string_view database, std::string_view table_name);
// The names of every file of a table's family in its directory (.DB .MB .PX
// .Xnn .Ynn .XGn .YGn .VAL and the other "NAME.EXT" files), whatever their case.
std::vector<std::string> TableFamilyFiles(Session& session, std::string_view database, std::string_view table_name);
// Deletes every file of the family of a closed table; a family that has no
// file is no error.
void DeleteTableFiles(Session& session, std::string_view database, std::string_view table_name);
// What is wrong with a table's files (structure, blobs, indexes); empty when it is sound.
// Throws EngineError when the table is missing or cannot be opened at all.
std::vector<std::string> VerifyTable(Session& session, std::string_view database, std::string_view table_name);

}  // namespace tabulor::db
