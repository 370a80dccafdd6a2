#include "db/schema/generator/row_writer.h"

#include <stdexcept>

#include "db/schema/layout.h"

namespace tabulor::schema {
namespace {

std::string Key(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

}  // namespace

RowWriter::RowWriter(db::Session& session, const std::string& directory, const TableSchema& table, int version)
    : schema_(table), table_(session, directory, TableNameAt(table, version)) {
  table_.Open();
  for (const FieldSchema& field : table.fields) {
    const std::string name = FieldNameAt(field, version);
    fields_[Key(field.def.name)] = name.empty() ? nullptr : &table_.FieldByName(name);
  }
  if (!table.fields.empty() && table.fields.front().def.type == db::FieldType::kAutoInc)
    key_ = fields_[Key(table.fields.front().def.name)];
}

RowWriter::~RowWriter() {
  try {
    table_.Close();
  } catch (...) {
    // Closing after a failed generation: the error that stopped it is the one reported.
  }
}

db::Field* RowWriter::Resolve(std::string_view field) const {
  const auto it = fields_.find(Key(field));
  if (it == fields_.end())
    throw std::invalid_argument("No field " + std::string(field) + " in table " + schema_.name);
  return it->second;
}

void RowWriter::Append() { table_.Append(); }

void RowWriter::Set(std::string_view field, const db::Value& value) {
  db::Field* target = Resolve(field);
  if (!target || db::IsNull(value)) return;
  target->SetAsVariant(value);
}

bool RowWriter::Has(std::string_view field) const { return Resolve(field) != nullptr; }

int64_t RowWriter::Post() {
  table_.Post();
  return key_ ? key_->AsInteger() : 0;
}

void RowWriter::Flush() { table_.FlushBuffers(); }

}  // namespace tabulor::schema
