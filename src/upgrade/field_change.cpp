#include "upgrade/field_change.h"

#include <string>

namespace tabulor::upgrade {
namespace {

constexpr size_t kMaxFieldNameLength = 31;

// Whatever the change did, the caller gets its table back, open and shared.
struct ReopenShared {
  db::Table& table;
  ~ReopenShared() {
    try {
      if (table.Active()) table.Close();
      table.SetExclusive(false);
      table.Open();
    } catch (...) {
      // The change's own error, if any, is the one to tell; the next use of
      // the table reports why it cannot be opened.
    }
  }
};

}  // namespace

void ChangeField(db::Table& table, std::string_view field_name, const db::FieldChange& change) {
  // A table opened for shared use is reopened exclusively.
  if (table.Active()) table.Close();
  table.SetExclusive(true);
  ReopenShared reopen{table};
  table.Open();
  const std::string name = table.FieldByName(field_name).Name();
  const std::string directory = table.Directory();
  const std::string table_name = table.TableName();
  table.Close();
  db::ChangeField(table.session(), directory, table_name, name, change);
}

void RenameField(db::Table& table, std::string_view field_name, std::string_view new_name) {
  if (new_name.empty() || new_name.size() > kMaxFieldNameLength)
    throw db::EngineError("Table " + table.TableName() + ": the new name of field " + std::string(field_name) +
                              " must have 1 to 31 characters",
                          table.TableName(), std::string(field_name));
  db::FieldChange change;
  change.new_name = std::string(new_name);
  ChangeField(table, field_name, change);
}

}  // namespace tabulor::upgrade
