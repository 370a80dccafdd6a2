#pragma once
// A table of an Access database, read whole when it is opened, with a cursor.
// Open either gives the whole table, checked, or throws AccessError naming
// the file and the table, and then nothing of the table is kept: a row the
// reader cannot locate or decode, a warning of libmdb while reading, a number
// of rows other than the table definition's, a definition or usage map that
// does not hold together all fail the Open, never the later Next or Eof.
// The rows come from the reading process in bounded batches and go to a
// temporary file (row_store.h): memory holds the current row and a few bytes a
// row, whatever the size of the table.
// A detail table is linked to a master table: while the master is open it
// shows only the rows whose key column equals the master's column in the
// master's current row, sorted on the key, and follows every move of the
// master; while the master is closed it shows the whole table.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/access/field.h"
#include "db/access/row_store.h"
#include "db/access/table_data.h"
#include "db/common/string_map.h"

namespace tabulor::db::access {

class Connection;

// The kind of values a listed column must hold; opening fails otherwise.
enum class FieldKind { kAny, kText, kMemo, kDateTime, kFloat, kInteger, kAutoIncrement };

struct ColumnSpec {
  ColumnSpec(const char* column_name, FieldKind column_kind = FieldKind::kAny) : name(column_name), kind(column_kind) {}
  ColumnSpec(std::string column_name, FieldKind column_kind = FieldKind::kAny)
      : name(std::move(column_name)), kind(column_kind) {}
  std::string name;
  FieldKind kind;
};

class Table {
 public:
  explicit Table(Connection& connection);
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  ~Table();

  void SetTableName(const std::string& name);
  const std::string& TableName() const { return name_; }
  // The columns the caller uses; opening fails naming the first one missing
  // or of another kind. Empty: every column of the table.
  void SetColumns(std::vector<ColumnSpec> columns);
  // Makes this table a detail of `master` (nullptr: no master).
  void SetMaster(Table* master, const std::string& master_column, const std::string& key_column);

  // Throws AccessError.
  void Open();
  void Close();
  bool IsOpen() const { return open_; }

  int RecordCount() const;
  void First();
  void Next();
  bool Eof() const;

  // Throws AccessError when the column is not one of the table's (or of the listed ones).
  Field FieldByName(const std::string& column) const;
  const std::vector<ColumnInfo>& Columns() const;

 private:
  friend class Connection;
  friend class Field;

  const Cell& CurrentCell(int column) const;  // throws when there is no current row
  int ColumnOf(const std::string& column, const TableData& data) const;
  void CheckColumns() const;
  void ApplyMasterRow();
  bool Empty() const { return begin_ == end_; }
  void SortOn(int key);
  void NotifyDetails();

  Connection* connection_;
  std::string name_;
  std::vector<ColumnSpec> columns_;
  Table* master_ = nullptr;
  std::string master_column_;
  std::string key_column_;
  std::vector<Table*> details_;

  bool open_ = false;
  std::shared_ptr<TableData> data_;
  // The rows shown: rows [begin_, end_) of the store, the rows of a detail
  // being contiguous once sorted on its key (column sorted_key_).
  std::unique_ptr<RowStore> store_;
  size_t begin_ = 0, end_ = 0;
  size_t hint_ = 0;  // where the search for the next master row's range starts
  int sorted_key_ = -1;
  size_t position_ = 0;  // index into the store
  mutable std::vector<Cell> current_;  // row current_index_, decoded
  // FieldByName's answers while the table stays open on the same key column:
  // a run asks for the same few columns on every row.
  mutable StringMap<int> column_by_name_;
  mutable size_t current_index_ = SIZE_MAX;
  bool eof_ = true;
};

}  // namespace tabulor::db::access
