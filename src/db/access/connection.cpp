#include "db/access/connection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "db/access/connection_string.h"
#include "db/access/error.h"
#include "db/access/table.h"

namespace tabulor::db::access {

Connection::~Connection() {
  Close();
  for (Table* table : tables_) table->connection_ = nullptr;
}

void Connection::SetConnectionString(const std::string& connection_string) {
  if (open_) throw AccessError("la chaîne de connexion ne peut pas changer pendant que la connexion est ouverte");
  connection_string_ = connection_string;
}

void Connection::Open() {
  if (open_) return;
  const std::string path = ResolveWindowsPath(DataSourceOf(connection_string_));
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw AccessError("Fichier introuvable : " + path);
    throw AccessError("Ouverture de " + path + " impossible : " + std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode)) throw AccessError(path + " n'est pas un fichier");
  if (::access(path.c_str(), R_OK) != 0) throw AccessError("Lecture de " + path + " interdite : " + std::strerror(errno));
  table_names_ = ReadIsolated(path, std::nullopt, limits_).table_names;
  path_ = path;
  open_ = true;
}

void Connection::Close() {
  for (Table* table : tables_) table->Close();
  open_ = false;
  table_names_.clear();
}

TableData Connection::ReadTable(const std::string& name) const {
  if (!open_) throw AccessError("la connexion à la base de données n'est pas ouverte");
  return ReadIsolated(path_, name, limits_).table;
}

TableData Connection::ReadTable(const std::string& name, const RowHandler& rows) const {
  if (!open_) throw AccessError("la connexion à la base de données n'est pas ouverte");
  return ReadIsolated(path_, name, limits_, rows).table;
}

TableData Connection::ReadTableEncoded(const std::string& name, const EncodedRowHandler& rows) const {
  if (!open_) throw AccessError("la connexion à la base de données n'est pas ouverte");
  return ReadIsolatedEncoded(path_, name, limits_, rows).table;
}

void Connection::Attach(Table* table) { tables_.push_back(table); }

void Connection::Detach(Table* table) { std::erase(tables_, table); }

}  // namespace tabulor::db::access
