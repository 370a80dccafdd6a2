#include "db/schema/layout.h"

#include "db/schema/version.h"

namespace tabulor::schema {
namespace {

std::string TypeText(const db::FieldDef& field) {
  switch (field.type) {
    case db::FieldType::kAlpha: return "A(" + std::to_string(field.size) + ")";
    case db::FieldType::kMemo: return "M(" + std::to_string(field.size) + ")";
    case db::FieldType::kBlob: return "B(" + std::to_string(field.size) + ")";
    case db::FieldType::kAutoInc: return "+";
    case db::FieldType::kLong: return "I";
    case db::FieldType::kShort: return "S";
    case db::FieldType::kNumber: return "N";
    case db::FieldType::kDate: return "D";
    case db::FieldType::kTime: return "T";
    case db::FieldType::kLogical: return "L";
    default: return "type " + std::to_string(static_cast<int>(field.type));
  }
}

bool SizeMatters(db::FieldType type) {
  return type == db::FieldType::kAlpha || type == db::FieldType::kMemo || type == db::FieldType::kBlob;
}

std::string FieldList(const std::vector<std::string>& fields) {
  std::string text;
  for (const std::string& field : fields) text += (text.empty() ? "" : ";") + field;
  return text;
}

std::string IndexText(const db::IndexDef& index) {
  std::string text = "\"" + index.name + "\" (" + FieldList(index.fields) + ")";
  if (index.primary) text += " primary";
  if (index.unique) text += " unique";
  if (index.case_insensitive) text += " case-insensitive";
  return text;
}

// A field name as the table calls it at `version` (index field lists use current names).
std::string FieldNameAtVersion(const TableSchema& table, const std::string& name, int version) {
  const FieldSchema* field = table.FindField(name);
  return field ? FieldNameAt(*field, version) : name;
}

db::IndexDef IndexAt(const TableSchema& table, const IndexSchema& index, int version) {
  db::IndexDef def = version < index.rebuilt_in ? index.former_options : index.def;
  for (std::string& field : def.fields) field = FieldNameAtVersion(table, field, version);
  return def;
}

db::IndexDef PrimaryIndex(const TableSchema& table, int version) {
  db::IndexDef def;
  def.name = table.primary_index_name;
  for (int i = 0; i < table.key_field_count; ++i) def.fields.push_back(FieldNameAt(table.fields[i], version));
  def.primary = true;
  def.unique = true;
  return def;
}

const db::FieldDef* FindDefField(const db::TableDef& def, const std::string& name) {
  for (const db::FieldDef& field : def.fields)
    if (SameName(field.name, name)) return &field;
  return nullptr;
}

bool SameFieldList(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameName(a[i], b[i])) return false;
  return true;
}

}  // namespace

std::string TableNameAt(const TableSchema& table, int version) {
  return version < table.renamed_in ? table.former_name : table.name;
}

std::string FieldNameAt(const FieldSchema& field, int version) {
  if (version < field.added_in) return {};
  return version < field.renamed_in ? field.former_name : field.def.name;
}

db::TableDef DefinitionAt(const TableSchema& table, int version) {
  db::TableDef def;
  for (const FieldSchema& field : table.fields) {
    if (version < field.added_in) continue;
    db::FieldDef field_def = field.def;
    field_def.name = FieldNameAt(field, version);
    def.fields.push_back(std::move(field_def));
  }
  const bool keyed = version >= table.keyed_since;
  def.key_field_count = keyed ? table.key_field_count : 0;
  if (keyed)
    for (const IndexSchema& index : table.indexes)
      if (version >= index.added_in) def.indexes.push_back(IndexAt(table, index, version));
  return def;
}

std::vector<TableLayout> LayoutAt(int version) {
  std::vector<TableLayout> layout;
  for (const TableSchema& table : PracticeTables())
    layout.push_back({TableNameAt(table, version), DefinitionAt(table, version), &table});
  return layout;
}

std::vector<std::string> VersionRowsAt(int version) {
  std::vector<std::string> rows;
  for (const TableSchema& table : PracticeTables())
    if (table.registered_in >= 0 && version >= table.registered_in) rows.push_back(TableNameAt(table, version));
  return rows;
}

std::string SchemaChange::Describe() const {
  std::string text = "V" + FormatVersion(version) + " " + table + ": ";
  switch (kind) {
    case ChangeKind::kRenameTable: return text + "rename table " + name + " to " + new_name;
    case ChangeKind::kRenameField: return text + "rename field " + name + " to " + new_name;
    case ChangeKind::kAddField: return text + "add field " + field.name + " " + TypeText(field);
    case ChangeKind::kAddIndex: return text + "add index " + IndexText(index);
    case ChangeKind::kRebuildIndex: return text + "rebuild index " + IndexText(index);
  }
  return text;
}

std::vector<SchemaChange> ChangesBetween(int from, int to) {
  std::vector<SchemaChange> changes;
  for (int step : kKnownVersions) {
    if (step <= from || step > to) continue;
    for (const TableSchema& table : PracticeTables()) {
      const std::string name = TableNameAt(table, step);
      auto change = [&](ChangeKind kind) {
        SchemaChange c;
        c.version = step;
        c.kind = kind;
        c.table = name;
        return c;
      };
      if (table.renamed_in == step) {
        SchemaChange c = change(ChangeKind::kRenameTable);
        c.name = table.former_name;
        c.new_name = table.name;
        changes.push_back(c);
      }
      for (const FieldSchema& field : table.fields)
        if (field.renamed_in == step) {
          SchemaChange c = change(ChangeKind::kRenameField);
          c.name = field.former_name;
          c.new_name = field.def.name;
          changes.push_back(c);
        }
      for (const FieldSchema& field : table.fields)
        if (field.added_in == step) {
          SchemaChange c = change(ChangeKind::kAddField);
          c.field = field.def;
          changes.push_back(c);
        }
      if (table.keyed_since == step || table.primary_rebuilt_in == step) {
        SchemaChange c = change(table.keyed_since == step ? ChangeKind::kAddIndex : ChangeKind::kRebuildIndex);
        c.index = PrimaryIndex(table, step);
        changes.push_back(c);
      }
      for (const IndexSchema& index : table.indexes)
        if (index.added_in == step || index.rebuilt_in == step) {
          SchemaChange c = change(index.added_in == step ? ChangeKind::kAddIndex : ChangeKind::kRebuildIndex);
          c.index = IndexAt(table, index, step);
          changes.push_back(c);
        }
    }
  }
  return changes;
}

std::vector<std::string> CompareDefinitions(const db::TableDef& actual, const db::TableDef& expected) {
  std::vector<std::string> differences;
  for (const db::FieldDef& want : expected.fields) {
    const db::FieldDef* got = FindDefField(actual, want.name);
    if (!got) {
      differences.push_back("missing field " + want.name + " " + TypeText(want));
    } else if (got->type != want.type || (SizeMatters(want.type) && got->size != want.size)) {
      differences.push_back("field " + want.name + " is " + TypeText(*got) + ", expected " + TypeText(want));
    }
  }
  for (const db::FieldDef& got : actual.fields)
    if (!FindDefField(expected, got.name)) differences.push_back("unexpected field " + got.name + " " + TypeText(got));

  if (actual.key_field_count != expected.key_field_count) {
    differences.push_back("primary key of " + std::to_string(actual.key_field_count) + " field(s), expected " +
                          std::to_string(expected.key_field_count));
  } else {
    for (int i = 0; i < expected.key_field_count && i < static_cast<int>(actual.fields.size()) &&
                    i < static_cast<int>(expected.fields.size());
         ++i)
      if (!SameName(actual.fields[i].name, expected.fields[i].name))
        differences.push_back("key field " + std::to_string(i + 1) + " is " + actual.fields[i].name + ", expected " +
                              expected.fields[i].name);
  }

  auto find_index = [](const db::TableDef& def, const std::string& name) -> const db::IndexDef* {
    for (const db::IndexDef& index : def.indexes)
      if (SameName(index.name, name)) return &index;
    return nullptr;
  };
  for (const db::IndexDef& want : expected.indexes) {
    const db::IndexDef* got = find_index(actual, want.name);
    if (!got)
      differences.push_back("missing index " + IndexText(want));
    else if (!SameFieldList(got->fields, want.fields) || got->unique != want.unique ||
             got->case_insensitive != want.case_insensitive)
      differences.push_back("index " + IndexText(*got) + ", expected " + IndexText(want));
  }
  for (const db::IndexDef& got : actual.indexes)
    if (!find_index(expected, got.name)) differences.push_back("unexpected index " + IndexText(got));
  return differences;
}

}  // namespace tabulor::schema
