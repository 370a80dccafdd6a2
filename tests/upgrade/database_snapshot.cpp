#include "database_snapshot.h"

#include <cstdio>

#include "db/paradox/upper_case.h"

namespace tabulor::upgrade::testing {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string ValueText(const db::Field& field) {
  if (field.IsNull()) return "<null>";
  if (field.Type() == db::FieldType::kBlob) {
    const db::Blob blob = field.AsBlob();
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (uint8_t b : blob) hash = (hash ^ b) * 1099511628211ull;
    return "blob " + std::to_string(blob.size()) + " " + std::to_string(hash);
  }
  if (field.Type() == db::FieldType::kNumber) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", field.AsFloat());
    return text;
  }
  return field.AsString();
}

}  // namespace

DatabaseSnapshot TakeSnapshot(const fs::path& data_dir) {
  DatabaseSnapshot snapshot;
  db::Session session;
  for (const auto& entry : fs::directory_iterator(data_dir)) {
    if (Upper(entry.path().extension().string()) != ".DB") continue;
    const std::string name = Upper(entry.path().stem().string());
    db::Table table(session, data_dir.string(), entry.path().filename().string());
    table.Open();
    snapshot.definitions[name] = table.Definition();
    TableRows& rows = snapshot.tables[name];
    for (table.First(); !table.Eof(); table.Next()) {
      RowValues row;
      for (int i = 0; i < table.FieldCount(); ++i) row[Upper(table.FieldAt(i).Name())] = ValueText(table.FieldAt(i));
      rows[ValueText(table.FieldAt(0))] = std::move(row);
    }
    table.Close();
  }
  return snapshot;
}

std::vector<std::string> LostOrChanged(const DatabaseSnapshot& before, const DatabaseSnapshot& after) {
  std::vector<std::string> problems;
  const bool renames_user = before.tables.count("USER") > 0;
  for (const auto& [name, rows] : before.tables) {
    if (name == "USERS" && renames_user) continue;  // the stray table the upgrade replaces
    if (name == "VERSION") continue;                 // rewritten by the stamping
    const std::string new_name = name == "USER" ? "USERS" : name;
    const auto found = after.tables.find(new_name);
    if (found == after.tables.end()) {
      problems.push_back("table " + name + " is gone");
      continue;
    }
    for (const auto& [key, row] : rows) {
      const auto after_row = found->second.find(key);
      if (after_row == found->second.end()) {
        problems.push_back(new_name + " row " + key + " is gone");
        continue;
      }
      for (const auto& [field, value] : row) {
        std::string new_field = field;
        if (field == "DATE") new_field = new_name == "PATIENT" ? "DATE_PAT" : "DATE_EXA";
        std::string expected = value;
        if (new_name == "USERS" && field == "NOM")
          expected = db::UpperCase(value, after.definitions.at("USERS"));
        const auto got = after_row->second.find(new_field);
        if (got == after_row->second.end())
          problems.push_back(new_name + " row " + key + ": field " + new_field + " is gone");
        else if (got->second != expected)
          problems.push_back(new_name + " row " + key + " " + new_field + ": " + got->second + " instead of " +
                             expected);
      }
    }
  }
  return problems;
}

}  // namespace tabulor::upgrade::testing
