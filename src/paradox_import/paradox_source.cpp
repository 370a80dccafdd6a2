#include "paradox_import/paradox_source.h"

#include <filesystem>
#include <system_error>

#include "db/schema/tables.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {
namespace {

std::unique_ptr<db::Table> OptionalTable(db::Session& session, bool present, const char* file) {
  return present ? std::make_unique<db::Table>(session, kSourceDatabase, file) : nullptr;
}

// The fields the import reads without testing for them first must be there, of their type.
void RequireFields(const db::Table& table, std::string_view schema_table, std::initializer_list<const char*> fields) {
  const schema::TableSchema& reference = schema::PracticeTable(schema_table);
  for (const char* name : fields) {
    const db::FieldDef* found = nullptr;
    for (const db::FieldDef& field : table.Definition().fields)
      if (schema::SameName(field.name, name)) found = &field;
    if (!found) throw std::runtime_error(table.TableName() + " : champ " + name + " manquant");
    const schema::FieldSchema* expected = reference.FindField(name);
    if (expected && expected->def.type != found->type)
      throw std::runtime_error(table.TableName() + " : type du champ " + name + " incorrect");
  }
}

// Every field of the current definition of the table.
void RequireAllFields(const db::Table& table, std::string_view schema_table) {
  for (const schema::FieldSchema& field : schema::PracticeTable(schema_table).fields)
    RequireFields(table, schema_table, {field.def.name.c_str()});
}

bool DirectoryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

SourceTables::SourceTables(db::Session& session, const SourcePresence& presence)
    : patients(session, kSourceDatabase, "Patient.DB"),
      exams(session, kSourceDatabase, "Examen.DB"),
      measures(session, kSourceDatabase, "Mesure.DB"),
      data(session, kSourceDatabase, "Data.DB"),
      users(session, kSourceDatabase, presence.user_db ? "User.db" : "Users.db"),
      professions(session, kSourceDatabase, "Prof.DB"),
      prescribers(session, kSourceDatabase, "Pres.DB"),
      pathologies(session, kSourceDatabase, "Path.DB"),
      clefs(session, kSourceDatabase, "Clefs.DB"),
      posturo(OptionalTable(session, presence.has_posturo, "Posturo.DB")),
      norms(OptionalTable(session, presence.has_norme, "Norme.DB")),
      exercises(OptionalTable(session, presence.has_jeu, "Jeu.DB")),
      documents(OptionalTable(session, presence.has_docs, "Docs.DB")),
      assessments(OptionalTable(session, presence.has_bilan, "Bilan.DB")),
      protocols(OptionalTable(session, presence.has_type, "Type.DB")),
      documents_ahead(OptionalTable(session, presence.has_docs, "Docs.DB")) {
  for (db::Table* table : {&patients, &exams, &measures, &data, &users, &professions, &prescribers, &pathologies, &clefs})
    table->SetReadOnly(true);
  for (db::Table* table : {posturo.get(), norms.get(), exercises.get(), documents.get(), assessments.get(),
                           protocols.get(), documents_ahead.get()})
    if (table) table->SetReadOnly(true);
  // Orders by field list, so that a source without the named index files still reads.
  exams.SetIndexFieldNames("FK_PAT");
  measures.SetIndexFieldNames("FK_EXA");
  data.SetIndexFieldNames("ID_Acq");
  users.SetIndexFieldNames("PK_USE");
  professions.SetIndexFieldNames("PK_PRO");
  prescribers.SetIndexFieldNames("PK_PRE");
  pathologies.SetIndexFieldNames("PK_PTH");
  clefs.SetIndexFieldNames("Nom");
  if (posturo) posturo->SetIndexFieldNames("ID_Acq");
  if (norms) norms->SetIndexFieldNames("PK_NORME");
  if (exercises) exercises->SetIndexFieldNames("FK_PAT");
  if (documents) documents->SetIndexFieldNames("FK_PAT");
  if (documents_ahead) documents_ahead->SetIndexFieldNames("FK_PAT");
  if (assessments) assessments->SetIndexFieldNames("FK_EXA");
}

ParadoxSource::ParadoxSource(db::Session& session) : session_(session), database_(session, kSourceDatabase) {}

ParadoxSource::~ParadoxSource() { Close(); }

void ParadoxSource::Close() {
  tables_.reset();
  database_.Close();
}

bool ParadoxSource::VideosMissing() const {
  return IsOpen() && !HasVideoFolder() && tables_->measures.FindField("Video_Left") != nullptr;
}

bool ParadoxSource::HasVideoFolder() const { return DirectoryExists(root_ + "movies"); }

bool ParadoxSource::DocumentsMissing() const {
  return IsOpen() && presence_.has_docs && !DirectoryExists(root_ + "Documents");
}

void ParadoxSource::Open(const std::string& directory) {
  Close();
  presence_ = FindSourceTables(directory);
  root_ = SourceRoot(directory);
  try {
    if (session_.AliasExists(kSourceAlias)) session_.DeleteAlias(kSourceAlias);
    session_.AddAlias(kSourceAlias, directory, "PARADOX");
    database_.SetAliasName(kSourceAlias);
    database_.Open();
    OpenTables();
  } catch (const std::exception& e) {
    Close();
    throw SourceError(shell::msg::ConnectionImpossible(directory) + "\r\r" + e.what());
  }
  directory_ = directory;
}

void ParadoxSource::OpenTables() {
  tables_ = std::make_unique<SourceTables>(session_, presence_);
  SourceTables& t = *tables_;
  std::vector<db::Table*> all = {&t.clefs, &t.pathologies, &t.prescribers, &t.professions, &t.users, &t.data};
  for (db::Table* optional : {t.posturo.get(), t.protocols.get(), t.norms.get(), t.exercises.get(),
                              t.documents.get(), t.assessments.get()})
    if (optional) all.push_back(optional);
  for (db::Table* table : {&t.measures, &t.exams, &t.patients}) all.push_back(table);
  // A damaged source is refused before anything of it is read.
  for (db::Table* table : all) {
    const std::vector<std::string> problems = table->OpenVerified();
    if (!problems.empty()) throw std::runtime_error(table->TableName() + " : " + problems.front());
  }
  if (t.documents_ahead) t.documents_ahead->Open();

  RequireFields(t.professions, "Prof", {"PK_PRO", "Nom"});
  RequireFields(t.prescribers, "Pres", {"PK_PRE", "NOM", "PRENOM", "ADRESSE", "CP", "VILLE", "TEL"});
  RequireFields(t.pathologies, "Path", {"PK_PTH", "NOM"});
  if (t.exercises) RequireAllFields(*t.exercises, "Jeu");
  if (t.norms) RequireAllFields(*t.norms, "Norme");
  if (t.assessments) RequireAllFields(*t.assessments, "Bilan");
  if (t.documents) RequireAllFields(*t.documents, "Docs");

  // Each table is counted whole, before it follows a master.
  counts_ = {};
  counts_.pathologies = t.pathologies.RecordCount();
  counts_.prescribers = t.prescribers.RecordCount();
  counts_.professions = t.professions.RecordCount();
  counts_.users = t.users.RecordCount();
  if (t.protocols) counts_.protocols = t.protocols->RecordCount();
  counts_.measures = t.measures.RecordCount();
  counts_.exams = t.exams.RecordCount();
  if (t.exercises) counts_.exercises = t.exercises->RecordCount();
  counts_.patients = t.patients.RecordCount();
  if (t.norms) counts_.norms = t.norms->RecordCount();

  t.exams.SetMasterSource(&t.patients, "PK_PAT");
  t.users.SetMasterSource(&t.patients, "FK_USE");
  t.professions.SetMasterSource(&t.patients, "FK_PRO");
  t.measures.SetMasterSource(&t.exams, "PK_EXA");
  t.prescribers.SetMasterSource(&t.exams, "FK_PRE");
  t.pathologies.SetMasterSource(&t.exams, "FK_PTH");
  t.data.SetMasterSource(&t.measures, "FK_DAT");
  if (t.exercises) t.exercises->SetMasterSource(&t.patients, "PK_PAT");
  if (t.documents) t.documents->SetMasterSource(&t.patients, "PK_PAT");
  if (t.assessments) t.assessments->SetMasterSource(&t.exams, "PK_EXA");
}

}  // namespace tabulor::paradox_import
