#include "paradox_import/import_run.h"

#include <filesystem>
#include <system_error>

#include "db/paradox/unit_of_work.h"
#include "paradox_import/run_tables.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {

namespace msg = shell::msg;

ImportRun::Tables::Tables(db::Session& session, const std::string& database)
    : patients(session, database, "Patient.DB"),
      documents(session, database, "Docs.DB"),
      exams(session, database, "Examen.DB"),
      assessments(session, database, "Bilan.DB"),
      measures(session, database, "Mesure.DB"),
      data(session, database, "Data.DB"),
      users(session, database, "Users.DB"),
      pathologies(session, database, "Path.DB"),
      prescribers(session, database, "Pres.DB"),
      professions(session, database, "Prof.DB"),
      posturo(session, database, "Posturo.DB"),
      exercises(session, database, "Jeu.DB"),
      norms(session, database, "Norme.DB"),
      protocols(session, database, "Type.DB"),
      clefs(session, database, "Clefs.DB") {
  patients.SetIndexName("Patient_Existant");
  users.SetIndexName("Utilisateur existant");
  pathologies.SetIndexName("Pathologie existante");
  prescribers.SetIndexName("Prescripteur existant");
  professions.SetIndexName("Profession existante");
  exercises.SetIndexName("IDJeu");
  norms.SetIndexName("Norme existante");
  protocols.SetIndexName("Protocole existant");
  for (db::Table* table : {&patients, &documents, &exams, &assessments, &measures, &data, &users, &pathologies,
                           &prescribers, &professions, &posturo, &exercises, &norms, &protocols, &clefs})
    table->Open();
}

std::vector<db::Table*> ImportRun::Tables::FlushOrder() {
  return {&patients, &documents, &exams,       &assessments, &measures,  &data,      &prescribers, &pathologies,
          &users,    &professions, &posturo,   &exercises,   &norms,     &protocols, &clefs};
}

ImportRun::ImportRun(Destination destination, ParadoxSource& source, shell::LogFile* log, ImportEvents& events,
                     RunOptions options, Clock clock)
    : destination_(std::move(destination)),
      source_(source),
      events_(events),
      reporter_([this](const std::string& line) { events_.ReportLine(line); }, log),
      options_(options),
      clock_(std::move(clock)) {
  // Without a configuration file the copies still go beside the program, never to the working directory.
  const std::string& program_dir = destination_.program_dir;
  if (destination_.folders.mails_folder.empty()) destination_.folders.mails_folder = program_dir + "Documents/Mails/";
  if (destination_.folders.video_folder.empty()) destination_.folders.video_folder = program_dir + "Movies/";
}

ImportRun::~ImportRun() = default;

void ImportRun::Run() {
  counts_ = {};
  current_user_key_ = 0;
  unsynced_folders_.clear();
  video_numbering_.reset();
  noted_ahead_.clear();
  letters_ahead_started_ = false;
  letters_ahead_.clear();
  letters_ahead_next_patient_.reset();
  db::Session& session = *destination_.session;
  // Tables first: the unit checks then that no other program holds one of them.
  tables_ = std::make_unique<Tables>(session, destination_.database);
  struct Release {
    ImportRun& run;
    ~Release() {
      run.unit_ = nullptr;
      run.tables_.reset();
    }
  } release{*this};
  db::UnitOfWork unit(session, destination_.database);
  unit_ = &unit;
  try {
    Walk();
    SaveVideoNumbering();
  } catch (...) {
    // What was stored before the error stays, as a run that ends early keeps its rows.
    try {
      SaveVideoNumbering();
    } catch (...) {
    }
    try {
      SyncCopies();
      unit.Commit();
    } catch (...) {
    }
    throw;
  }
  SyncCopies();
  unit.Commit();
}

void ImportRun::Walk() {
  SourceTables& source = source_.Tables();
  // Older posturography tables have no norm link.
  norms_follow_posturo_ = source.norms && source.posturo && source.posturo->FindField("FK_Norm");
  if (norms_follow_posturo_) source.norms->SetMasterSource(source.posturo.get(), "FK_Norm");
  source_has_videos_ = source_.HasVideoFolder();
  std::error_code error;
  const bool documents = source.documents && std::filesystem::is_directory(source_.Root() + "Documents", error);

  events_.ProgressStarted(source_.Counts().patients);
  int64_t position = 0;
  for (source.patients.First(); !source.patients.Eof(); source.patients.Next()) {
    events_.ProcessPendingEvents();
    const std::optional<StoredPatient> patient = PatientStep();
    if (!patient) {
      SkipPatientDetails();
    } else {
      for (source.exams.First(); !source.exams.Eof(); source.exams.Next()) {
        const std::optional<int64_t> exam = ImportExam(*patient);
        if (!exam) {
          SkipExamDetails();
          continue;
        }
        for (source.measures.First(); !source.measures.Eof(); source.measures.Next()) ImportMeasure(*exam);
      }
      if (source.exercises) ImportExercises(*patient);
      if (documents) ImportDocuments(patient->key);
    }
    events_.ProgressMoved(++position);
    if (options_.flush_every_patients > 0 && position % options_.flush_every_patients == 0) FlushAll();
  }
  if (options_.import_practice) ImportPractice();
  if (options_.import_protocols && source.protocols) ImportProtocols();
  FlushAll();
}

void ImportRun::FlushAll() {
  for (db::Table* table : tables_->FlushOrder()) table->FlushBuffers();
}

void ImportRun::Increment(Counter counter) {
  events_.CounterChanged(counter, ++counts_[static_cast<size_t>(counter)]);
}

// The details of a source patient that could not be stored are told, never attached elsewhere.
void ImportRun::SkipPatientDetails() {
  SourceTables& source = source_.Tables();
  for (source.exams.First(); !source.exams.Eof(); source.exams.Next()) {
    reporter_.TellError(msg::ErrorImportingExamination(), Text(source.exams, "PK_EXA"), msg::PatientNotImported());
    SkipExamDetails();
  }
  if (source.exercises)
    for (source.exercises->First(); !source.exercises->Eof(); source.exercises->Next())
      reporter_.TellError(msg::ErrorImportingExercise(), Text(*source.exercises, "PK_JEU"), msg::PatientNotImported());
  if (source.documents)
    for (source.documents->First(); !source.documents->Eof(); source.documents->Next())
      reporter_.TellError(msg::ErrorImportingDocument(), Text(*source.documents, "NOM"), msg::PatientNotImported());
}

void ImportRun::SkipExamDetails() {
  SourceTables& source = source_.Tables();
  for (source.measures.First(); !source.measures.Eof(); source.measures.Next())
    reporter_.TellError(msg::ErrorImportingMeasurement(), Text(source.measures, "PK_MES"),
                        msg::ExaminationNotImported());
  if (source.assessments)
    for (source.assessments->First(); !source.assessments->Eof(); source.assessments->Next())
      reporter_.TellError(msg::AddingClinicalAssessment(), Text(*source.assessments, "PK_BIL"),
                          msg::ExaminationNotImported());
}

}  // namespace tabulor::paradox_import
