#include "db/schema/generator/generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "db/schema/generator/context.h"
#include "db/schema/generator/unsynced_env.h"
#include "db/schema/layout.h"

namespace tabulor::schema {
namespace {

namespace fs = std::filesystem;

int RecordSize(const db::TableDef& def) {
  int size = 0;
  for (const db::FieldDef& field : def.fields) {
    switch (field.type) {
      case db::FieldType::kAlpha: size += field.size; break;
      case db::FieldType::kShort: size += 2; break;
      case db::FieldType::kNumber: size += 8; break;
      case db::FieldType::kLogical: size += 1; break;
      case db::FieldType::kMemo:
      case db::FieldType::kBlob: size += field.size + 10; break;
      default: size += 4; break;
    }
  }
  return size;
}

// Rows a table will get, per patient, with a margin (the generator's averages are lower).
double RowsPerPatient(const std::string& table) {
  if (SameName(table, "Patient")) return 1;
  if (SameName(table, "Examen")) return 2;
  if (SameName(table, "Mesure") || SameName(table, "Data") || SameName(table, "Posturo")) return 5;
  if (SameName(table, "Jeu")) return 2;
  return 1;
}

// The smallest block size whose block count stays within the format's
// 65,535 blocks, with room for the table to grow.
int BlockSizeFor(const db::TableDef& def, double rows) {
  const int record = RecordSize(def);
  for (int kb : {2, 4, 8, 16, 32}) {
    const int per_block = (kb * 1024 - 6) / record;
    if (per_block > 0 && rows / per_block < 40000) return kb;
  }
  return 32;
}

void CheckOptions(const GeneratorOptions& options) {
  if (!IsKnownVersion(options.version))
    throw std::invalid_argument("Unknown schema version " + FormatVersion(options.version) +
                                " (known: 0, 1, 2, 2.1, 2.3, 2.4, 2.5, 2.8)");
  // Beyond this the raw acquisitions outgrow the 4 GB that blob files can address.
  if (options.patients < 0 || options.patients > kMaxPatients)
    throw std::invalid_argument("The number of patients must lie between 0 and " + std::to_string(kMaxPatients));
  if (options.share < 0 || options.share > 1)
    throw std::invalid_argument("The share of shared patients must lie between 0 and 1");
  if (options.share_seed && options.share_patients <= 0)
    throw std::invalid_argument("Sharing patients needs the patient count of the other database");
}

void WriteStrayUsersTable(GenerationContext& context) {
  // An earlier "Users" table left behind by an aborted installation.
  db::TableDef def;
  def.fields = {{"PK_USE", db::FieldType::kAutoInc, 0}, {"NOM", db::FieldType::kAlpha, 30}};
  def.key_field_count = 1;
  db::CreateTable(context.session, context.data_dir, "Users", def);
  db::Table stray(context.session, context.data_dir, "Users");
  stray.Open();
  stray.Append();
  stray.FieldByName("NOM").SetAsString("ancien utilisateur");
  stray.Post();
  stray.FlushBuffers();
  stray.Close();
}

// The named indexes of every table, built once its rows are in (cheaper than
// keeping them in step row by row). Those the engine already made are left alone.
void AddNamedIndexes(db::Session& session, const std::string& dir, int version) {
  for (const TableLayout& layout : LayoutAt(version)) {
    if (layout.def.indexes.empty()) continue;
    std::vector<db::IndexDef> existing;
    {
      db::Table table(session, dir, layout.name);
      table.Open();
      existing = table.Definition().indexes;
    }
    for (const db::IndexDef& index : layout.def.indexes) {
      const bool present = std::any_of(existing.begin(), existing.end(),
                                       [&](const db::IndexDef& e) { return SameName(e.name, index.name); });
      if (!present) db::AddIndex(session, dir, layout.name, index);
    }
  }
}

}  // namespace

RowWriter& GenerationContext::Writer(const std::string& table) {
  auto& writer = writers[table];
  if (!writer) writer = std::make_unique<RowWriter>(session, data_dir, PracticeTable(table), options.version);
  return *writer;
}

std::string DateText(const db::DateTime& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", date.day, date.month, date.year);
  return text;
}

std::string TimeText(const db::DateTime& time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return text;
}

db::DateTime AddDays(const db::DateTime& date, int days) {
  return db::DateTime::FromOrdinalDays(date.OrdinalDays() + days);
}

std::string DataDirectory(const std::string& root) { return (fs::path(root) / "DATA").string(); }

GenerationCounts GeneratePracticeDatabase(const std::string& root, const GeneratorOptions& options,
                                          db::Session& session) {
  CheckOptions(options);
  const fs::path data_dir = DataDirectory(root);
  if (fs::exists(data_dir) && !fs::is_empty(data_dir))
    throw std::invalid_argument("The directory " + data_dir.string() +
                                " already holds files; a database is only generated into an empty directory");
  fs::create_directories(data_dir);
  fs::create_directories(fs::path(root) / "Documents" / "Mails");
  fs::create_directories(fs::path(root) / "movies");

  GenerationContext context(session, fs::path(root), data_dir.string(), options);
  for (const TableLayout& table : LayoutAt(options.version)) {
    db::TableDef def = table.def;
    def.block_size_kb = BlockSizeFor(def, RowsPerPatient(table.schema->name) * options.patients + 100);
    db::CreateTable(session, context.data_dir, table.name, def);
  }
  if (options.stray_users_files && options.version < 200) WriteStrayUsersTable(context);

  WriteReferenceRows(context);
  WritePatientRows(context);
  WriteVersionRows(context);
  for (auto& [name, writer] : context.writers) writer->Flush();
  context.writers.clear();
  AddNamedIndexes(session, context.data_dir, options.version);
  return context.counts;
}

}  // namespace tabulor::schema

namespace tabulor::schema {

GenerationCounts GeneratePracticeDatabase(const std::string& root, const GeneratorOptions& options) {
  db::Session session(UnsyncedEnv());
  return GeneratePracticeDatabase(root, options, session);
}

}  // namespace tabulor::schema
