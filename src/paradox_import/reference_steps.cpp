// The reference rows found by name or added (users, professions, pathologies,
// prescribers, norms), the protocols, the practice record and the letters.
#include <algorithm>
#include <array>
#include <filesystem>

#include "db/paradox/unit_of_work.h"
#include "db/paradox/upper_case.h"
#include "paradox_import/run_tables.h"
#include "paradox_import/safe_file_name.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {

namespace msg = shell::msg;
using db::Value;

namespace {

constexpr std::array<const char*, 10> kNormParameters = {"SURF", "LONG", "XMoy", "YMoy", "LFS",
                                                         "VarVit", "VFY", "ROMBERG", "AN02X", "AN02Y"};
constexpr std::array<const char*, 3> kNormBounds = {"_Min", "_Max", "_Moy"};

}  // namespace

void ImportRun::ResolveUser() {
  db::Table& source = source_.Tables().users;
  const std::string name = HasRow(source) ? Text(source, "Nom") : std::string();
  db::Table& users = tables_->users;
  if (name.empty() || users.FindKey({Value{name}})) {
    // Without a name: the user the table stands on, found or added last.
    current_user_key_ = users.Eof() && users.Bof() ? 0 : static_cast<int32_t>(KeyOf(users, "PK_USE"));
    return;
  }
  try {
    users.Append();
    users.FieldByName("NOM").SetAsString(db::UpperCase(name, users.Definition()));
    if (source.FindField("PASS_WD")) CopyText(users, source, "PASS_WD");
    if (source.FindField("EXPIRE_DATE")) users.CopyRecordFrom(source, {.fields = {"EXPIRE_DATE"}});
    users.Post();
    current_user_key_ = static_cast<int32_t>(KeyOf(users, "PK_USE"));
    Increment(Counter::kUsersAdded);
  } catch (const std::exception& e) {
    CancelPending(users);
    current_user_key_ = 0;
    reporter_.TellError(msg::AddingUser(), name, e.what());
  }
}

std::optional<int64_t> ImportRun::ResolveProfession() {
  db::Table& source = source_.Tables().professions;
  const std::string name = Text(source, "Nom");
  db::Table& table = tables_->professions;
  if (table.FindKey({Value{name}})) return KeyOf(table, "PK_PRO");
  try {
    table.Append();
    table.FieldByName("Nom").SetAsString(name);
    table.Post();
    Increment(Counter::kProfessionsAdded);
    return KeyOf(table, "PK_PRO");
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::AddingProfession(), name, e.what());
    return std::nullopt;
  }
}

std::optional<int64_t> ImportRun::ResolvePathology() {
  db::Table& source = source_.Tables().pathologies;
  const std::string name = Text(source, "NOM");
  db::Table& table = tables_->pathologies;
  if (table.FindKey({Value{name}})) return KeyOf(table, "PK_PTH");
  try {
    table.Append();
    table.FieldByName("NOM").SetAsString(name);
    table.Post();
    Increment(Counter::kPathologiesAdded);
    return KeyOf(table, "PK_PTH");
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::AddingPathology(), name, e.what());
    return std::nullopt;
  }
}

std::optional<int64_t> ImportRun::ResolvePrescriber() {
  db::Table& source = source_.Tables().prescribers;
  const std::string name = Text(source, "NOM");
  db::Table& table = tables_->prescribers;
  if (table.FindKey({Value{name}, Value{Text(source, "PRENOM")}})) return KeyOf(table, "PK_PRE");
  try {
    table.Append();
    for (const char* field : {"NOM", "PRENOM", "ADRESSE", "CP", "VILLE", "TEL"}) CopyText(table, source, field);
    table.Post();
    Increment(Counter::kPrescribersAdded);
    return KeyOf(table, "PK_PRE");
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::AddingPrescriber(), name, e.what());
    return std::nullopt;
  }
}

std::optional<int64_t> ImportRun::ResolveNorm(db::Table& source) {
  const std::string name = Text(source, "NOM");
  db::Table& table = tables_->norms;
  if (table.FindKey({Value{name}})) return KeyOf(table, "PK_NORME");
  try {
    table.Append();
    CopyText(table, source, "NOM");
    for (const char* parameter : kNormParameters)
      for (const char* bound : kNormBounds) {
        const std::string field = std::string(parameter) + bound;
        table.FieldByName(field).SetAsFloat(source.FieldByName(field).AsFloat());
      }
    table.Post();
    Increment(Counter::kNormsAdded);
    return KeyOf(table, "PK_NORME");
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::AddingNorm(), name, e.what());
    return std::nullopt;
  }
}

void ImportRun::ImportProtocols() {
  SourceTables& sources = source_.Tables();
  db::Table& source = *sources.protocols;
  db::Table& table = tables_->protocols;
  // A protocol names its norms by their source keys: each is looked up among all the source's norms.
  if (sources.norms) sources.norms->SetMasterSource(nullptr, "");
  for (source.First(); !source.Eof(); source.Next()) {
    const std::string code = Text(source, "CODE");  // outside the guard: a source without it ends the run
    if (table.FindKey({Value{code}})) {
      reporter_.Tell(code + msg::ProtocolExists());
      continue;
    }
    try {
      table.Append();
      CopyText(table, source, "CODE");
      CopyText(table, source, "DUREE");
      CopyInteger(table, source, "FREQ");
      CopyInteger(table, source, "NB_MESURES");
      for (const char* field : {"MES_1", "MES_2", "MES_3", "MES_4"}) CopyText(table, source, field);
      if (source.FindField("FK_NORM_1"))
        for (const char* field : {"FK_NORM_1", "FK_NORM_2", "FK_NORM_3", "FK_NORM_4"}) {
          const db::Field& norm_key = source.FieldByName(field);
          if (norm_key.IsNull()) continue;
          // The destination row of the same norm, not whatever norm has that key number here.
          if (!sources.norms || !sources.norms->FindKey({Value{norm_key.AsInteger()}})) {
            reporter_.Tell(code + " : " + msg::NormNotFound(norm_key.AsString()));
            continue;
          }
          if (const std::optional<int64_t> norm = ResolveNorm(*sources.norms))
            table.FieldByName(field).SetAsInteger(*norm);
        }
      if (source.FindField("PRESSIONS"))
        table.FieldByName("PRESSIONS").SetAsBoolean(source.FieldByName("PRESSIONS").AsBoolean());
      table.Post();
      Increment(Counter::kProtocolsAdded);
    } catch (const std::exception& e) {
      CancelPending(table);
      reporter_.TellError(msg::ErrorImportingProtocol(), code, e.what());
    }
  }
}

// The practice record is overwritten with the source's first one, in name order.
void ImportRun::ImportPractice() {
  db::Table& source = source_.Tables().clefs;
  db::Table& table = tables_->clefs;
  try {
    if (!HasRow(source)) throw std::runtime_error("Clefs.DB : aucun cabinet médical dans la base importée");
    table.First();
    if (table.Eof()) table.Append();
    else table.Edit();
    table.FieldByName("Nom").SetAsString(Text(source, "NOM"));
    table.FieldByName("Adresse").SetAsString(Text(source, "ADRESSE"));
    table.FieldByName("Tel").SetAsString(Text(source, "TEL"));
    if (source.FindField("WEB")) {
      table.FieldByName("Web").SetAsString(Text(source, "WEB"));
      table.FieldByName("Logo").SetAsString(Text(source, "LOGO"));
      table.FieldByName("Mail").SetAsString(Text(source, "MAIL"));
    }
    table.Post();
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingPractice(), "", e.what());
  }
}

// Where a letter row's file comes from and goes to.
ImportRun::LetterPaths ImportRun::LetterPathsOf(db::Table& documents) const {
  LetterPaths paths;
  paths.name = Text(documents, "NOM");
  const bool mail = documents.FieldByName("TYPE").AsInteger() == 1;
  paths.from = source_.Root() + (mail ? "Documents/Mails/" : "Documents/") + paths.name;
  paths.to = (mail ? destination_.folders.mails_folder : destination_.program_dir + "Documents/") + paths.name;
  return paths;
}

// Each letter is copied from the source installation, then gets its row; a
// letter already copied (its file exists) is not added again.
void ImportRun::ImportDocuments(int64_t patient_key) {
  db::Table& source = *source_.Tables().documents;
  db::Table& table = tables_->documents;
  const int64_t source_patient = source_.Tables().patients.FieldByName("PK_PAT").AsInteger();
  ForgetLettersBefore(source_patient);
  for (source.First(); !source.Eof(); source.Next()) {
    const auto [name, from, to] = LetterPathsOf(source);
    if (!IsPlainFileName(name)) {
      reporter_.Tell(name + msg::FileNotFound());
      continue;
    }
    if (!noted_ahead_.count(to)) NoteNextLetters(source_patient);
    if (!CopyNewFile(from, to)) {
      reporter_.Tell(name + msg::FileNotFound());
      continue;
    }
    try {
      table.Append();
      table.FieldByName("FK_PAT").SetAsInteger(patient_key);
      CopyText(table, source, "DATE_COURRIER");
      table.FieldByName("CHEMIN").SetAsString(to);
      CopyInteger(table, source, "TYPE");
      table.FieldByName("NOM").SetAsString(name);
      table.Post();
    } catch (const std::exception& e) {
      CancelPending(table);
      RemoveCopies({to});
      reporter_.TellError(msg::ErrorImportingDocument(), name, e.what());
    }
  }
}

// The copies of the next letters, in the order the patients are walked, noted
// in the unit in one durable write rather than one each. Files already there
// are left out (no copy is made over them, and the unit must not remove them).
void ImportRun::NoteNextLetters(int64_t source_patient) {
  constexpr size_t kNotedAhead = 256;
  db::Table* ahead = source_.Tables().documents_ahead.get();
  if (!ahead) return;
  if (!letters_ahead_started_) {
    ahead->First();
    letters_ahead_started_ = true;
  } else if (!letters_ahead_next_patient_ || *letters_ahead_next_patient_ > source_patient) {
    return;  // the letter was passed over (its file was there already, or it is named twice)
  }
  std::vector<std::string> names;
  std::error_code error;
  for (; !ahead->Eof() && names.size() < kNotedAhead; ahead->Next()) {
    LetterPaths paths = LetterPathsOf(*ahead);
    if (!IsPlainFileName(paths.name) || noted_ahead_.count(paths.to) || std::filesystem::exists(paths.to, error))
      continue;
    if (std::find(names.begin(), names.end(), paths.to) != names.end()) continue;
    letters_ahead_.push_back({ahead->FieldByName("FK_PAT").AsInteger(), paths.to});
    names.push_back(std::move(paths.to));
  }
  letters_ahead_next_patient_.reset();
  if (!ahead->Eof()) letters_ahead_next_patient_ = ahead->FieldByName("FK_PAT").AsInteger();
  unit_->NoteCreatedFiles(names);
  noted_ahead_.insert(names.begin(), names.end());
}

void ImportRun::ForgetLettersBefore(int64_t source_patient) {
  while (!letters_ahead_.empty() && letters_ahead_.front().patient < source_patient) {
    noted_ahead_.erase(letters_ahead_.front().to);
    letters_ahead_.pop_front();
  }
}

}  // namespace tabulor::paradox_import
