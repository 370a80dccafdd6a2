#pragma once
// A read-only connection to an Access (.mdb) database. The file is opened
// read-only and never locked, so other programs may keep it open; all its
// reading happens in an isolated child process (isolated_reader.h).
#include <string>
#include <vector>

#include "db/access/isolated_reader.h"
#include "db/access/table_data.h"

namespace tabulor::db::access {

class Table;

class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();  // closes its tables

  // "...;Data Source=<directory>\<file name>;..." as the wizards build it.
  void SetConnectionString(const std::string& connection_string);
  const std::string& ConnectionString() const { return connection_string_; }

  // Throws AccessError when the file cannot be opened as an Access database.
  void Open();
  // Closes the connection and every table opened on it.
  void Close();
  bool IsOpen() const { return open_; }

  const std::string& FilePath() const { return path_; }  // the resolved file, once open
  const std::vector<std::string>& TableNames() const { return table_names_; }

  void SetReaderLimits(const ReaderLimits& limits) { limits_ = limits; }

  // For Table: the whole content of one table of the open file.
  TableData ReadTable(const std::string& name) const;
  // The same, the rows handed to `rows` as they arrive (the result holds none).
  TableData ReadTable(const std::string& name, const RowHandler& rows) const;
  // The same, the rows still encoded as the reading process sent them.
  TableData ReadTableEncoded(const std::string& name, const EncodedRowHandler& rows) const;

 private:
  friend class Table;
  void Attach(Table* table);
  void Detach(Table* table);

  std::string connection_string_;
  std::string path_;
  std::vector<std::string> table_names_;
  std::vector<Table*> tables_;
  ReaderLimits limits_;
  bool open_ = false;
};

}  // namespace tabulor::db::access
