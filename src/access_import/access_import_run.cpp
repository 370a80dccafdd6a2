#include "access_import/access_import_run.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "access_import/sequence_file.h"
#include "db/access/formats.h"
#include "db/paradox/unit_of_work.h"
#include "shell/birth_date.h"
#include "shell/formats.h"
#include "shell/msg.h"

namespace tabulor::access_import {
namespace {

namespace msg = shell::msg;
using db::Value;

// The 30 norm values: Norme.DB field prefix, Types column quantity.
constexpr std::pair<const char*, const char*> kNormQuantities[] = {
    {"SURF", "Surface"}, {"LONG", "Longueur"}, {"XMoy", "Moyen_X"}, {"YMoy", "Moyen_Y"},   {"LFS", "LFS"},
    {"VarVit", "Variance"}, {"VFY", "VFY"}, {"ROMBERG", "Romberg"}, {"AN02X", "AN02X"}, {"AN02Y", "AN02Y"}};
constexpr std::pair<const char*, const char*> kNormBounds[] = {{"_Min", "_Min"}, {"_Max", "_Max"}, {"_Moy", "_Normal"}};

std::string Text(const db::access::Table& table, const char* column) { return table.FieldByName(column).AsString(); }

// The pending new row of `table` is abandoned when its step fails.
void CancelPending(db::Table& table) {
  if (table.State() == db::CursorState::kAppend || table.State() == db::CursorState::kEdit) table.Cancel();
}

std::string Situation(const db::access::Table& types) {
  return Text(types, "Type_Yeux") == "YO" ? "0000000" : "1000000";
}

}  // namespace

struct AccessImportRun::CurrentPatient {
  bool stored = false;  // found or inserted: its details may follow it
  int64_t key = 0;
  std::string last_name;  // NOM of the practice row
  std::string weight, height, shoe_size;
  int64_t adult = 0;

  // The patient row on which the table stands.
  static CurrentPatient Of(db::Table& table) {
    return {true,
            table.FieldByName("PK_PAT").AsInteger(),
            table.FieldByName("NOM").AsString(),
            table.FieldByName("POIDS").AsString(),
            table.FieldByName("TAILLE").AsString(),
            table.FieldByName("POINTURE").AsString(),
            table.FieldByName("CLASSE").AsInteger()};
  }
};

struct AccessImportRun::PracticeTables {
  PracticeTables(db::Session& session, const std::string& database)
      : patient(session, database, "Patient.DB"),
        new_patient(session, database, "Patient.DB"),
        examination(session, database, "Examen.DB"),
        measurement(session, database, "Mesure.DB"),
        posturo(session, database, "Posturo.DB"),
        exercise(session, database, "Jeu.DB"),
        norm(session, database, "Norme.DB"),
        type(session, database, "Type.DB") {
    // A cursor on a secondary index sorts the whole table again when it is read
    // after a row was posted, so the tables only appended to (Examen.DB, Mesure.DB,
    // and Patient.DB through `new_patient`) stay in key order; the index files
    // are kept up to date either way.
    patient.SetIndexName("Patient_Existant");
    exercise.SetIndexName("IDJeu");
    norm.SetIndexName("Norme existante");
    type.SetIndexName("Protocole existant");
    for (db::Table* table : All()) table->Open();
  }
  std::vector<db::Table*> All() {
    return {&patient, &new_patient, &examination, &measurement, &posturo, &exercise, &norm, &type};
  }
  db::Table patient, new_patient, examination, measurement, posturo, exercise, norm, type;
};

AccessImportRun::AccessImportRun(db::Session& session, std::string database, BalantisSource& source,
                                 shell::LogFile* log, AccessImportEvents& events, RunOptions options)
    : session_(session),
      database_(std::move(database)),
      source_(source),
      events_(events),
      reporter_([this](const std::string& line) { events_.ReportLine(line); }, log),
      options_(options) {}

AccessImportRun::~AccessImportRun() = default;

void AccessImportRun::Run() {
  counts_ = {};
  db::UnitOfWork unit(session_, database_);
  tables_ = std::make_unique<PracticeTables>(session_, database_);
  try {
    Walk();
  } catch (...) {
    // What was stored before the error stays, as a run that ends early keeps its rows.
    try {
      unit.Commit();
    } catch (...) {
    }
    tables_.reset();
    throw;
  }
  unit.Commit();
  tables_.reset();
}

void AccessImportRun::Walk() {
  db::access::Table& patients = source_.patients;
  events_.ProgressStarted(patients.RecordCount());
  int64_t position = 0;
  for (patients.First(); !patients.Eof(); patients.Next()) {
    events_.ProcessPendingEvents();
    CurrentPatient patient;
    PatientStep(patient);
    if (options_.full_import) {
      if (!patient.stored) {
        SkipDetails(Text(patients, "Nom_Patient"));
      } else {
        for (source_.sequences.First(); !source_.sequences.Eof(); source_.sequences.Next()) {
          const std::optional<int64_t> examination = ExaminationStep(patient);
          std::optional<int64_t> norm = PracticeTypeNorm();
          MeasurementStep(patient, examination, norm);
        }
        for (source_.exercises.First(); !source_.exercises.Eof(); source_.exercises.Next()) ExerciseStep(patient);
      }
    }
    events_.ProgressMoved(++position);
    if (options_.flush_every_patients > 0 && position % options_.flush_every_patients == 0) FlushAll();
  }
  FlushAll();
}

void AccessImportRun::FlushAll() {
  for (db::Table* table : tables_->All()) table->FlushBuffers();
}

void AccessImportRun::Increment(Counter counter) {
  events_.CounterChanged(counter, ++counts_[static_cast<size_t>(counter)]);
}

void AccessImportRun::PatientStep(CurrentPatient& patient) {
  const db::access::Table& source = source_.patients;
  const std::string last_name = Text(source, "Nom_Patient");
  const std::string source_first_name = Text(source, "Prenom_Patient");
  // Outside the step's guard: a birth date that is not a date ends the run.
  const std::string birth_text = Text(source, "Date_Naissance_Patient");
  db::DateTime birth{1900, 1, 1, 0, 0, 0, 0};
  if (birth_text.empty()) {
    reporter_.Tell(last_name + msg::BirthDateCompleted());
  } else {
    const std::optional<db::DateTime> parsed = shell::ParseBirthDate(birth_text);
    if (!parsed) throw std::runtime_error("'" + birth_text + "' n'est pas une date correcte");
    birth = *parsed;
  }
  std::string first_name = source_first_name;
  if (first_name.empty()) {
    first_name = last_name;
    reporter_.Tell(last_name + msg::FirstNameCompleted());
  }

  db::Table& table = tables_->new_patient;
  try {
    if (tables_->patient.FindKey({Value{last_name}, Value{first_name}, Value{birth}})) {
      patient = CurrentPatient::Of(tables_->patient);
      Increment(Counter::kExistingPatients);
      reporter_.Tell(last_name + " " + first_name + msg::PatientExists());
      return;
    }
    table.Append();
    table.FieldByName("FLAG").SetAsString("A");
    const db::DateTime now = db::DateTime::Now();
    table.FieldByName("DATE_PAT").SetAsDateTime(db::DateTime{now.year, now.month, now.day, 0, 0, 0, 0});
    table.FieldByName("NOM").SetAsString(last_name);
    table.FieldByName("PRENOM").SetAsString(first_name);
    table.FieldByName("BIRTHDT").SetAsDateTime(birth);
    table.FieldByName("SEXE").SetAsString(Text(source, "Sexe_Patient"));
    table.FieldByName("ADRESSE").SetAsString(Text(source, "Adresse1_Patient") + Text(source, "Adresse2_Patient"));
    table.FieldByName("CP").SetAsString(Text(source, "CodePostal_Patient"));
    table.FieldByName("VILLE").SetAsString(Text(source, "Ville_Patient"));
    table.FieldByName("TELOFF").SetAsString(Text(source, "Telephone2_Patient"));
    table.FieldByName("TELPRV").SetAsString(Text(source, "Telephone1_Patient"));
    table.FieldByName("NOTE").SetAsString(Text(source, "Commentaire_Patient"));
    table.FieldByName("POINTURE").SetAsString(Text(source, "Pointure_Patient"));
    table.FieldByName("POIDS").SetAsString(Text(source, "Poids_Patient"));
    table.FieldByName("TAILLE").SetAsString(Text(source, "Taille_Patient"));
    table.FieldByName("FK_USE").SetAsInteger(options_.user_key);
    table.FieldByName("CLASSE").SetAsInteger(Text(source, "Classe_Patient") == "A" ? 1 : 0);
    table.Post();
    patient = CurrentPatient::Of(table);
    Increment(Counter::kPatients);
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingPatient(), last_name + " " + source_first_name, e.what());
  }
}

void AccessImportRun::SkipDetails(const std::string& last_name) {
  for (source_.sequences.First(); !source_.sequences.Eof(); source_.sequences.Next())
    reporter_.TellError(msg::ErrorImportingExamination(), last_name + " " + Text(source_.sequences, "Num_Sequence"),
                        msg::PatientNotImported());
  for (source_.exercises.First(); !source_.exercises.Eof(); source_.exercises.Next())
    reporter_.TellError(msg::ErrorImportingExercise(),
                        last_name + " " + Text(source_.exercises, "Date_Exercice") + " " +
                            Text(source_.exercises, "Heure_Exercice"),
                        msg::PatientNotImported());
}

std::optional<int64_t> AccessImportRun::ExaminationStep(const CurrentPatient& patient) {
  const db::access::Table& sequence = source_.sequences;
  db::Table& table = tables_->examination;
  try {
    table.Append();
    table.FieldByName("FK_PAT").SetAsInteger(patient.key);
    table.FieldByName("DATE_EXA").SetAsDateTime(sequence.FieldByName("Date_Sequence").AsDateTime());
    table.FieldByName("INTITULE").SetAsString(Text(sequence, "Type_Sequence"));
    table.FieldByName("POIDS").SetAsString(patient.weight);
    table.FieldByName("TAILLE").SetAsString(patient.height);
    table.FieldByName("POINTURE").SetAsString(patient.shoe_size);
    table.FieldByName("CLASSE").SetAsInteger(patient.adult);
    table.FieldByName("FK_USE").SetAsInteger(options_.user_key);
    table.Post();
    return table.FieldByName("PK_EXA").AsInteger();
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingExamination(),
                        Text(source_.patients, "Nom_Patient") + " " + Text(sequence, "Num_Sequence"), e.what());
    return std::nullopt;  // the measurement stays without an examination
  }
}

// The sequence's practice type, created by the type step when missing; its FK_NORM_1, if any.
std::optional<int64_t> AccessImportRun::PracticeTypeNorm() {
  const std::string code = Text(source_.types, "Code_Type_Acquisition");
  if (code.empty()) return std::nullopt;
  db::Table& type = tables_->type;
  if (!type.FindKey({Value{code}})) {
    TypeStep();
    if (!type.FindKey({Value{code}})) return std::nullopt;  // its insertion failed
  }
  db::Field& norm = type.FieldByName("FK_NORM_1");
  if (norm.IsNull()) return std::nullopt;
  return norm.AsInteger();
}

void AccessImportRun::TypeStep() {
  const db::access::Table& source = source_.types;
  const std::string code = Text(source, "Code_Type_Acquisition");
  bool any_value = false;
  for (const auto& [field, quantity] : kNormQuantities)
    for (const auto& [suffix, bound] : kNormBounds)
      if (source.FieldByName(std::string("Type_") + quantity + bound).AsFloat() != 0) any_value = true;
  std::optional<int64_t> norm_key;
  db::Table& norm = tables_->norm;
  if (any_value && !norm.FindKey({Value{code}})) {
    try {
      norm.Append();
      norm.FieldByName("NOM").SetAsString(code);
      for (const auto& [field, quantity] : kNormQuantities)
        for (const auto& [suffix, bound] : kNormBounds)
          norm.FieldByName(std::string(field) + suffix)
              .SetAsFloat(source.FieldByName(std::string("Type_") + quantity + bound).AsFloat());
      norm.Post();
      norm_key = norm.FieldByName("PK_NORME").AsInteger();
      Increment(Counter::kNorms);
    } catch (const std::exception& e) {
      CancelPending(norm);
      reporter_.TellError(msg::AddingNorm(), code, e.what());
      return;
    }
  }
  db::Table& type = tables_->type;
  try {
    type.Append();
    type.FieldByName("CODE").SetAsString(code);
    type.FieldByName("DUREE").SetAsString(Text(source, "Duree_Type_Acquisition"));
    const std::string frequency = Text(source, "Frequence_Type_Acquisition");
    if (!frequency.empty()) type.FieldByName("FREQ").SetAsInteger(db::access::TextToInteger(frequency));
    type.FieldByName("NB_MESURES").SetAsInteger(1);
    type.FieldByName("MES_1").SetAsString(Situation(source));
    for (const char* field : {"MES_2", "MES_3", "MES_4"}) type.FieldByName(field).SetAsString("0000000");
    if (norm_key) type.FieldByName("FK_NORM_1").SetAsInteger(*norm_key);
    type.Post();
    Increment(Counter::kTypes);
  } catch (const std::exception& e) {
    CancelPending(type);
    reporter_.TellError(msg::ErrorImportingType(), code, e.what());
  }
}

void AccessImportRun::MeasurementStep(const CurrentPatient& patient, std::optional<int64_t> examination,
                                      std::optional<int64_t> norm) {
  const db::access::Table& sequence = source_.sequences;
  const std::string key = Text(source_.patients, "Nom_Patient") + " " + Text(sequence, "Num_Sequence");
  const db::access::AccessFormats formats = db::access::CurrentAccessFormats();
  db::Table& posturo = tables_->posturo;
  int32_t frequency = 0;
  double duration = 0;
  int32_t samples = 0;
  try {
    frequency = db::access::TextToInteger(Text(sequence, "Frequence_Sequence"));
    duration = db::access::TextToFloat(Text(sequence, "Duree_Sequence"), formats);
    const std::string name =
        SequenceFileName(Text(sequence, "Code_Patient"),
                         db::access::TextToFloat(Text(sequence, "Num_Sequence"), formats));
    posturo.Append();
    posturo.FieldByName("TypeAcq").SetAsInteger(6);
    posturo.FieldByName("ID_Pla").SetAsInteger(0);
    posturo.FieldByName("CodeType").SetAsString(Text(sequence, "Type_Sequence"));
    posturo.FieldByName("Frequence").SetAsInteger(frequency);
    posturo.FieldByName("Duree").SetAsInteger(static_cast<int64_t>(std::nearbyint(duration * 1000)));
    posturo.FieldByName("TypePatient").SetAsInteger(patient.adult);
    posturo.FieldByName("Pointure").SetAsString(patient.shoe_size);
    posturo.FieldByName("Taille").SetAsString(patient.height);
    if (norm) posturo.FieldByName("FK_Norm").SetAsInteger(*norm);
    posturo.FieldByName("Situation").SetAsString(Situation(source_.types));
    const std::filesystem::path path = std::filesystem::path(source_.Directory()) / "data" / name;
    if (!std::filesystem::is_regular_file(path)) {
      CancelPending(posturo);
      reporter_.Tell(msg::ErrorImportingMeasurement() + " : " + key + msg::FileNotFound());
      return;
    }
    samples = ExpectedSampleCount(duration, frequency);
    posturo.FieldByName("Data").SetAsBlob(ReadSampleBlob(path.string(), samples, MaxSamples(frequency), formats));
    posturo.Post();
  } catch (const std::exception& e) {
    CancelPending(posturo);
    reporter_.TellError(msg::ErrorImportingMeasurement(), key, e.what());
    return;
  }
  db::Table& measurement = tables_->measurement;
  try {
    const int64_t acquisition = posturo.FieldByName("ID_Acq").AsInteger();
    measurement.Append();
    if (examination) measurement.FieldByName("FK_EXA").SetAsInteger(*examination);
    const db::DateTime time = sequence.FieldByName("Heure_Sequence").AsDateTime();
    measurement.FieldByName("HEURE").SetAsDateTime(db::DateTime{0, 0, 0, time.hour, time.minute, time.second, time.msec});
    measurement.FieldByName("NOTE").SetAsString(Text(sequence, "Commentaire_Sequence"));
    measurement.FieldByName("TYPE").SetAsString("W");
    measurement.FieldByName("NBIMAGE").SetAsInteger(samples);
    measurement.FieldByName("DUREE").SetAsFloat(duration * 1000);
    measurement.FieldByName("FREQUENCE").SetAsFloat(
        db::access::TextToFloat(Text(sequence, "Frequence_Sequence"), formats));
    measurement.FieldByName("FK_USE").SetAsInteger(options_.user_key);
    measurement.FieldByName("FK_DAT").SetAsInteger(acquisition);
    measurement.Post();
    Increment(Counter::kMeasurements);
  } catch (const std::exception& e) {
    CancelPending(measurement);
    reporter_.TellError(msg::ErrorImportingMeasurement(), key, e.what());
  }
}

void AccessImportRun::ExerciseStep(const CurrentPatient& patient) {
  const db::access::Table& source = source_.exercises;
  const db::DateTime date = source.FieldByName("Date_Exercice").AsDateTime();
  const db::DateTime time = source.FieldByName("Heure_Exercice").AsDateTime();
  const std::string date_text = shell::FormatDate(db::DateTime{date.year, date.month, date.day, 0, 0, 0, 0});
  const std::string time_text = shell::FormatTime(db::DateTime{0, 0, 0, time.hour, time.minute, time.second, time.msec});
  const std::string source_texts = Text(source, "Date_Exercice") + " " + Text(source, "Heure_Exercice");
  db::Table& table = tables_->exercise;
  try {
    if (table.FindKey({Value{patient.key}, Value{date_text}, Value{time_text}})) {
      reporter_.Tell(patient.last_name + " " + source_texts + msg::ExerciseExists());
      return;
    }
    table.Append();
    table.FieldByName("FK_PAT").SetAsInteger(patient.key);
    table.FieldByName("DATE_JEU").SetAsString(date_text);
    table.FieldByName("TIME").SetAsString(time_text);
    table.FieldByName("NIVEAU").SetAsString(Text(source, "Code_Jeu"));
    table.FieldByName("SCORE").SetAsString(std::to_string(source.FieldByName("Performance_Exercice").AsInteger()));
    table.FieldByName("NOTE").SetAsString(Text(source, "Commentaire_Exercice"));
    table.FieldByName("FK_USE").SetAsInteger(options_.user_key);
    table.FieldByName("ID_Pla").SetAsInteger(0);
    const std::string game = Text(source, "Type_Jeu");
    const char* const games[] = {"PIP", "BPS", "BAP", "SPO"};
    for (int i = 0; i < 4; ++i)
      if (game == games[i]) table.FieldByName("TYPE").SetAsInteger(i);
    table.Post();
    Increment(Counter::kExercises);
  } catch (const std::exception& e) {
    CancelPending(table);
    reporter_.TellError(msg::ErrorImportingExercise(), Text(source_.patients, "Nom_Patient") + " " + source_texts,
                        e.what());
  }
}

}  // namespace tabulor::access_import
