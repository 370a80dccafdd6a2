// The patient, its examinations with their clinical assessment, and its exercises.
#include "paradox_import/run_tables.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {

namespace msg = shell::msg;
using db::Value;

namespace {

// A null date reads as day zero of the date scale, as the duplicate test compares it.
db::DateTime DateOrDayZero(const db::Field& field) {
  return field.IsNull() ? db::DateTime{1899, 12, 30, 0, 0, 0, 0} : field.AsDateTime();
}

}  // namespace

std::optional<ImportRun::StoredPatient> ImportRun::PatientStep() {
  db::Table& source = source_.Tables().patients;
  // Outside any step's guard: a source without these fields ends the run.
  const std::string name = Text(source, "Nom");
  const std::string first_name = Text(source, "Prenom");
  const db::Field& birth_field = source.FieldByName("BIRTHDT");
  const db::DateTime birth = DateOrDayZero(birth_field);
  db::Table& patients = tables_->patients;
  // A patient without a birth date is the same patient whether its date was left empty or stored as day zero.
  if (!patients.FindKey({Value{name}, Value{first_name}, Value{birth}}) &&
      !(birth_field.IsNull() && patients.FindKey({Value{name}, Value{first_name}, Value{}})))
    return ImportPatient(name, first_name, birth);
  Increment(Counter::kPatientsExisting);
  reporter_.Tell(name + " " + first_name + msg::PatientExists());
  // Its details are written under the user of its own source row.
  ResolveUser();
  return StoredPatient{KeyOf(patients, "PK_PAT"), Text(patients, "NOM"), KeyOf(patients, "CLASSE")};
}

uint16_t ImportRun::AgeInYears(const db::DateTime& date) const {
  const db::DateTime today = clock_();
  uint16_t age = static_cast<uint16_t>(static_cast<uint16_t>(today.year) - static_cast<uint16_t>(date.year));
  if (today.month < date.month || (today.month == date.month && today.day < date.day)) --age;
  return age;
}

std::optional<ImportRun::StoredPatient> ImportRun::ImportPatient(const std::string& name,
                                                                 const std::string& first_name,
                                                                 const db::DateTime& birth) {
  SourceTables& sources = source_.Tables();
  db::Table& source = sources.patients;
  db::Table& table = tables_->patients;
  try {
    table.Append();
    table.FieldByName("FLAG").SetAsString("A");
    CopyDateTime(table.FieldByName("DATE_PAT"), source.FindField("DATE_PAT") ? source.FieldByName("DATE_PAT")
                                                                             : source.FieldByName("DATE"));
    CopyText(table, source, "NOM");
    CopyText(table, source, "PRENOM");
    table.FieldByName("BIRTHDT").SetAsDateTime(birth);
    for (const char* field : {"BIRTHPLACE", "SEXE", "ADRESSE", "CP", "VILLE", "TELOFF", "TELPRV", "NOTE", "POINTURE",
                              "POIDS", "TAILLE", "DOSSIER"})
      CopyText(table, source, field);
    CopyInteger(table, source, "FLAG1");
    CopyInteger(table, source, "FLAG2");
    if (source.FindField("Classe"))
      CopyInteger(table, source, "CLASSE");
    else
      table.FieldByName("CLASSE").SetAsInteger(AgeInYears(birth) > destination_.folders.adult_age ? 1 : 0);
    if (source.FindField("LIMIT_H"))
      for (const char* field : {"LIMIT_H", "LIMIT_B", "LIMIT_G", "LIMIT_D"}) CopyInteger(table, source, field);
    ResolveUser();
    table.FieldByName("FK_USE").SetAsInteger(current_user_key_);
    if (HasRow(sources.professions) && !Text(sources.professions, "Nom").empty())
      if (const std::optional<int64_t> profession = ResolveProfession())
        table.FieldByName("FK_PRO").SetAsInteger(*profession);
    table.Post();
    Increment(Counter::kPatientsAdded);
    return StoredPatient{KeyOf(table, "PK_PAT"), Text(table, "NOM"), KeyOf(table, "CLASSE")};
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingPatient(), name + " " + first_name, e.what());
    return std::nullopt;
  }
}

std::optional<int64_t> ImportRun::ImportExam(const StoredPatient& patient) {
  SourceTables& sources = source_.Tables();
  db::Table& source = sources.exams;
  db::Table& table = tables_->exams;
  try {
    table.Append();
    table.FieldByName("FK_PAT").SetAsInteger(patient.key);
    CopyDateTime(table.FieldByName("DATE_EXA"), source.FindField("DATE_EXA") ? source.FieldByName("DATE_EXA")
                                                                             : source.FieldByName("DATE"));
    for (const char* field : {"INTITULE", "POIDS", "TAILLE", "POINTURE"}) CopyText(table, source, field);
    CopyDateTime(table.FieldByName("PRESCDT"), source.FieldByName("PRESCDT"));
    CopyText(table, source, "PRESC");
    CopyText(table, source, "NOTE");
    table.FieldByName("FK_USE").SetAsInteger(current_user_key_);
    CopyText(table, source, "FichierDataDos");
    for (const char* field : {"FLAG1", "FLAG2", "VP"}) CopyInteger(table, source, field);
    if (source.FindField("Classe"))
      CopyInteger(table, source, "CLASSE");
    else
      table.FieldByName("CLASSE").SetAsInteger(patient.adult);
    if (HasRow(sources.pathologies) && !Text(sources.pathologies, "NOM").empty())
      if (const std::optional<int64_t> pathology = ResolvePathology())
        table.FieldByName("FK_PTH").SetAsInteger(*pathology);
    if (HasRow(sources.prescribers) &&
        (!Text(sources.prescribers, "NOM").empty() || !Text(sources.prescribers, "PRENOM").empty()))
      if (const std::optional<int64_t> prescriber = ResolvePrescriber())
        table.FieldByName("FK_PRE").SetAsInteger(*prescriber);
    table.Post();
    const int64_t key = KeyOf(table, "PK_EXA");
    if (sources.assessments && HasRow(*sources.assessments)) ImportAssessment(key);
    Increment(Counter::kExamsAdded);
    return key;
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingExamination(), Text(source, "PK_EXA"), e.what());
    return std::nullopt;
  }
}

// The first assessment of the examination, field by field in the reference order
// (the key, first, is the destination's own).
void ImportRun::ImportAssessment(int64_t exam_key) {
  db::Table& source = *source_.Tables().assessments;
  db::Table& table = tables_->assessments;
  try {
    table.Append();
    table.CopyRecordFrom(source, {.match = db::RecordCopy::Match::kByPosition, .first_field = 1});
    table.FieldByName("FK_EXA").SetAsInteger(exam_key);
    table.Post();
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::AddingClinicalAssessment(), Text(source, "PK_BIL"), e.what());
  }
}

void ImportRun::ImportExercises(const StoredPatient& patient) {
  db::Table& source = *source_.Tables().exercises;
  db::Table& table = tables_->exercises;
  for (source.First(); !source.Eof(); source.Next()) {
    // Outside the step's guard: a source without these fields ends the run.
    const std::string date = Text(source, "DATE_JEU");
    const std::string time = Text(source, "TIME");
    if (table.FindKey({Value{patient.key}, Value{date}, Value{time}})) {
      reporter_.Tell(patient.name + " " + date + " " + time + msg::ExerciseExists());
      continue;
    }
    try {
      table.Append();
      table.FieldByName("FK_PAT").SetAsInteger(patient.key);
      table.CopyRecordFrom(source, {.fields = {"DATE_JEU", "TIME", "TYPE", "NIVEAU", "SCORE", "NOTE", "Flag", "SURFACE", "ID_Pla"}});
      table.FieldByName("FK_USE").SetAsInteger(current_user_key_);
      table.Post();
      Increment(Counter::kExercisesAdded);
    } catch (const std::exception& e) {
      CancelPending(table);
      reporter_.TellError(msg::ErrorImportingExercise(), Text(source, "PK_JEU"), e.what());
    }
  }
}

}  // namespace tabulor::paradox_import
