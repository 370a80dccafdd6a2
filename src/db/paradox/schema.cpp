// Creating, finding and renaming tables; the schema changes of the next engine version.
#include <algorithm>
#include <set>

#include "db/paradox/engine.h"
#include "db/paradox/format/blob_file.h"
#include "db/paradox/format/codepage.h"
#include "db/paradox/format/header.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/rename.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {
namespace {

void CheckDefinition(const TableDef& def, const std::string& table) {
  auto fail = [&](const std::string& m, const std::string& field = {}) {
    throw EngineError("Table " + table + (field.empty() ? "" : ", field " + field) + ": " + m, table, field);
  };
  if (def.fields.empty() || def.fields.size() > 255) fail("a table has 1 to 255 fields");
  if (def.key_field_count < 0 || def.key_field_count > 16 || def.key_field_count > static_cast<int>(def.fields.size()))
    fail("a primary key has 0 to 16 fields");
  static const std::set<int> kBlockSizes = {1, 2, 4, 8, 16, 32};
  if (!kBlockSizes.count(def.block_size_kb)) fail("block size must be 1, 2, 4, 8, 16 or 32 KiB");
  if (def.file_version < 5 || def.file_version > 12) fail("only table versions 4 to 7 (5..12) can be created");
  std::set<std::string> seen;
  int record = 0;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const FieldDef& f = def.fields[i];
    if (f.name.empty() || f.name.size() > 25) fail("a field name has 1 to 25 characters", f.name);
    if (!seen.insert(names::Upper(f.name)).second) fail("the field name is used twice", f.name);
    if (!format::IsKnownFieldType(static_cast<uint8_t>(f.type))) fail("unknown field type", f.name);
    if ((f.type == FieldType::kAlpha || f.type == FieldType::kBytes) && (f.size < 1 || f.size > 255))
      fail("the size must be 1 to 255", f.name);
    if (IsBlobType(f.type) && (f.size < (f.type == FieldType::kMemo ? 1 : 0) || f.size > 240))
      fail("the size kept in the row must be up to 240", f.name);
    if (f.type == FieldType::kBcd && (f.size < 0 || f.size > 32)) fail("a BCD field has 0 to 32 decimals", f.name);
    if (static_cast<int>(i) < def.key_field_count && IsBlobType(f.type)) fail("a blob field cannot be part of the key", f.name);
    record += format::StoredSize(f.type, IsBlobType(f.type) ? f.size + 10 : f.size);
  }
  if (record > def.block_size_kb * 1024 - 6) fail("the record is larger than a block");
}

void WriteNewFile(Env& env, const std::string& path, const std::vector<uint8_t>& bytes) {
  auto f = env.Open(path, OpenMode::kCreate);
  f->WriteAt(0, bytes.data(), bytes.size());
  f->Sync();
}

}  // namespace

void CreateTable(Session& session, std::string_view database, std::string_view table_name, const TableDef& def) {
  const std::string base = names::WithoutDbExtension(table_name);
  const std::string file = base + ".DB";
  CheckDefinition(def, file);
  const std::string dir = session.ResolveDirectory(database);
  Env& env = session.env();
  if (!env.DirectoryExists(dir)) throw EngineError("Table " + file + ": the directory " + dir + " does not exist", file);
  if (!FamilyFiles::Find(env, dir, file).db.empty()) throw EngineError("Table " + file + " already exists in " + dir, file);
  try {
    format::CodePage cp(def.code_page, format::CodePage::CharsetFor(def.code_page, def.sort_order));
    format::NewTableLayout layout;
    layout.fields = def.fields;
    for (auto& f : layout.fields) f.name = cp.FromUtf8(f.name);
    layout.key_fields = def.key_field_count;
    layout.block_size_kb = def.block_size_kb;
    layout.file_version = def.file_version;
    layout.code_page = def.code_page;
    layout.sort_order_id = def.sort_order;
    layout.table_file_name = file;
    WriteNewFile(env, dir + "/" + file, format::BuildTableHeader(layout));
    if (def.key_field_count > 0) {
      int key = 0;
      for (int i = 0; i < def.key_field_count; ++i)
        key += format::StoredSize(def.fields[i].type, def.fields[i].size);
      int kb = 2;
      while ((kb * 1024 - 6) / (key + 6) < 3) kb *= 2;
      if (kb > 32) throw std::runtime_error("the key is too long");
      WriteNewFile(env, dir + "/" + base + ".PX", format::BuildPrimaryIndexHeader(layout, kb));
    }
    if (std::any_of(def.fields.begin(), def.fields.end(), [](const FieldDef& f) { return IsBlobType(f.type); }))
      WriteNewFile(env, dir + "/" + base + ".MB", format::BlobFile::NewFileHeader());
    env.SyncDirectory(dir);
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError("Table " + file + " could not be created: " + e.what(), file);
  }
}

bool TableExists(Session& session, std::string_view database, std::string_view table_name) {
  const std::string dir = session.ResolveDirectory(database);
  schema_ops::CompletePendingRenames(session.env(), dir);
  return !FamilyFiles::Find(session.env(), dir, std::string(table_name)).db.empty();
}

std::vector<std::string> VerifyTable(Session& session, std::string_view database, std::string_view table_name) {
  const std::string dir = session.ResolveDirectory(database);
  schema_ops::CompletePendingRenames(session.env(), dir);
  const FamilyFiles files = FamilyFiles::Find(session.env(), dir, std::string(table_name));
  if (files.db.empty())
    throw EngineError("Table " + std::string(table_name) + " not found in " + dir, std::string(table_name));
  return TableFamily(session.shared_env(), files, files.db, true).Verify();
}

}  // namespace tabulor::db
