#include "patient_file_import/patient_file_run.h"

#include <exception>

#include "db/paradox/unit_of_work.h"
#include "patient_file_import/patient_values.h"
#include "shell/birth_date.h"
#include "shell/event_line.h"
#include "shell/log_file.h"
#include "shell/msg.h"

namespace tabulor::patient_file_import {
namespace {

using db::access::ColumnSpec;
using db::access::FieldKind;

// The columns of Patients the import reads.
std::vector<ColumnSpec> SourceColumns() {
  return {{"LastName", FieldKind::kAny},         {"FirstName", FieldKind::kAny},
          {"DateOfBirth", FieldKind::kAny},      {"Weight", FieldKind::kAny},
          {"Height", FieldKind::kAny},           {"FootSize", FieldKind::kAny},
          {"Sex", FieldKind::kAny},              {"Notes", FieldKind::kAny},
          {"Telephone1Number", FieldKind::kAny}, {"Telephone2Number", FieldKind::kAny}};
}

constexpr size_t kNameSize = 30;  // NOM and PRENOM of Patient.DB

db::DateTime DateOnly(const db::DateTime& t) { return db::DateTime{t.year, t.month, t.day}; }

}  // namespace

PatientFileImport::PatientFileImport(const shell::FunctionContext& context, Clock clock)
    : context_(context), clock_(std::move(clock)) {}

PatientFileImport::~PatientFileImport() {
  CloseSource();
  ClosePracticeTables();
}

void PatientFileImport::CloseSource() {
  patients_source_.reset();
  connection_.reset();
}

int64_t PatientFileImport::OpenSource(const std::string& directory, const std::string& file_name) {
  CloseSource();
  const std::string path = directory + "\\" + file_name;
  try {
    auto connection = std::make_unique<db::access::Connection>();
    connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                                    ";Persist Security Info=False");
    connection->Open();
    auto patients = std::make_unique<db::access::Table>(*connection);
    patients->SetTableName("Patients");
    patients->SetColumns(SourceColumns());
    patients->Open();
    connection_ = std::move(connection);
    patients_source_ = std::move(patients);
  } catch (const std::exception& e) {
    CloseSource();
    throw SourceError(shell::msg::ConnectionImpossible(directory) + "\r\r" + e.what());
  }
  return patients_source_->RecordCount();
}

bool PatientFileImport::SourceOpen() const { return patients_source_ != nullptr; }

int64_t PatientFileImport::SourcePatients() const { return patients_source_ ? patients_source_->RecordCount() : 0; }

void PatientFileImport::OpenPracticeTables() {
  if (!tPat_) {
    auto table = std::make_unique<db::Table>(context_.Session(), context_.database, "Patient.DB");
    table->SetIndexName("Patient_Existant");
    table->Open();
    tPat_ = std::move(table);
  }
  if (!tUser_) {
    auto table = std::make_unique<db::Table>(context_.Session(), context_.database, "Users.DB");
    table->SetIndexName("Utilisateur existant");
    table->Open();
    tUser_ = std::move(table);
  }
}

void PatientFileImport::ClosePracticeTables() {
  tPat_.reset();
  tUser_.reset();
}

std::vector<PatientFileUser> PatientFileImport::Users() {
  OpenPracticeTables();
  std::vector<PatientFileUser> users;
  for (tUser_->First(); !tUser_->Eof(); tUser_->Next())
    users.push_back({tUser_->FieldByName("PK_USE").AsInteger(), tUser_->FieldByName("NOM").AsString()});
  return users;
}

std::optional<int64_t> PatientFileImport::FindUser(const std::string& name) {
  OpenPracticeTables();
  if (!tUser_->FindKey({db::Value{name}})) return std::nullopt;
  return tUser_->FieldByName("PK_USE").AsInteger();
}

PatientFileCounts PatientFileImport::Run(std::optional<int64_t> user_key, PatientFileObserver& observer) {
  if (!patients_source_) throw std::logic_error("the patient file is not open");
  PatientFileCounts counts;
  observer.CountsChanged(counts);
  shell::LogFile log = shell::LogFile::InDirectory(context_.ProgramDirOrCurrent(), shell::kImportLogName);
  // The report line and the log line of an event; they differ only where the
  // birth date completion puts a blank before its colon in the log.
  auto tell = [&](const std::string& report_text, const std::string& log_text) {
    observer.Reported(report_text);
    log.WriteLine(shell::EventLogLine(clock_(), log_text));
  };
  try {
    OpenPracticeTables();
    db::UnitOfWork unit(context_.Session(), context_.database);
    db::access::Table& source = *patients_source_;
    db::Table& tPat = *tPat_;
    const db::DateTime today = DateOnly(clock_());
    const int64_t total = source.RecordCount();
    observer.Started(total);
    int64_t done = 0;
    // The source's columns, all checked when it was opened.
    const db::access::Field last_name = source.FieldByName("LastName");
    const db::access::Field first_name = source.FieldByName("FirstName");
    const db::access::Field date_of_birth = source.FieldByName("DateOfBirth");
    const db::access::Field sex = source.FieldByName("Sex");
    const db::access::Field telephone1 = source.FieldByName("Telephone1Number");
    const db::access::Field telephone2 = source.FieldByName("Telephone2Number");
    const db::access::Field notes = source.FieldByName("Notes");
    const db::access::Field foot_size = source.FieldByName("FootSize");
    const db::access::Field weight = source.FieldByName("Weight");
    const db::access::Field height = source.FieldByName("Height");
    // Patient.DB's fields, each found at its first use: one it lacks fails
    // every patient, as the lookup at each row would.
    struct Target {
      const char* name;
      db::Field* field = nullptr;
    };
    Target flag{"FLAG"}, date_pat{"DATE_PAT"}, nom{"NOM"}, prenom{"PRENOM"}, birthdt{"BIRTHDT"}, sexe{"SEXE"},
        teloff{"TELOFF"}, telprv{"TELPRV"}, note{"NOTE"}, pointure{"POINTURE"}, poids{"POIDS"}, taille{"TAILLE"},
        fk_use{"FK_USE"}, classe{"CLASSE"};
    auto target = [&](Target& t) -> db::Field& {
      if (!t.field) t.field = &tPat.FieldByName(t.name);
      return *t.field;
    };
    for (source.First(); !source.Eof(); source.Next()) {
      observer.Progressed(done);
      const std::string last = last_name.AsString();
      std::string first = first_name.AsString();

      db::DateTime birth{1900, 1, 1};
      const std::string birth_text = date_of_birth.AsString();
      if (birth_text.empty()) {
        const std::string text = shell::msg::BirthDateCompleted();
        tell(last + text, last + " " + text);
      } else if (auto date = shell::ParseBirthDate(birth_text, today)) {
        birth = DateOnly(*date);
      } else {
        throw std::runtime_error(shell::ErrorEventText(shell::msg::ErrorImportingPatient(), last + " " + first,
                                                       shell::msg::NotADate(birth_text)));
      }
      if (first.empty()) {
        first = last;
        const std::string text = last + shell::msg::FirstNameCompleted();
        tell(text, text);
      }

      // The names as Patient.DB keeps them, so that a name longer than its field still matches.
      const std::string stored_last = CutToCharacters(last, kNameSize);
      const std::string stored_first = CutToCharacters(first, kNameSize);
      if (tPat.FindKey({db::Value{stored_last}, db::Value{stored_first}, db::Value{birth}})) {
        ++counts.existing;
        observer.CountsChanged(counts);
        const std::string text = last + " " + first + shell::msg::PatientExists();
        tell(text, text);
      } else {
        try {
          tPat.Append();
          target(flag).SetAsString("A");
          target(date_pat).SetAsDateTime(today);
          target(nom).SetAsString(last);
          target(prenom).SetAsString(first);
          target(birthdt).SetAsDateTime(birth);
          target(sexe).SetAsString(sex.AsString());
          target(teloff).SetAsString(telephone1.AsString());
          target(telprv).SetAsString(telephone2.AsString());
          target(note).SetAsString(notes.AsString());
          auto size = [&](const db::access::Field& field, const char* fallback) {
            return SizeText(field.IsNull() ? std::nullopt : std::optional<double>(field.AsFloat()), fallback);
          };
          target(pointure).SetAsString(size(foot_size, "35"));
          target(poids).SetAsString(size(weight, "50"));
          target(taille).SetAsString(size(height, "165"));
          if (user_key) target(fk_use).SetAsInteger(*user_key);
          target(classe).SetAsInteger(ClassFor(birth, today));
          tPat.Post();
          ++counts.imported;
          observer.CountsChanged(counts);
        } catch (const std::exception& e) {
          if (tPat.State() == db::CursorState::kAppend) tPat.Cancel();
          const std::string text =
              shell::ErrorEventText(shell::msg::ErrorImportingPatient(), last + " " + first, e.what());
          tell(text, text);
        }
      }
      ++done;
    }
    observer.Progressed(done);
    unit.Commit();
  } catch (...) {
    // An abandoned unit leaves the cursors on its tables stale: they are opened afresh when needed.
    ClosePracticeTables();
    throw;
  }
  log.Close();
  return counts;
}

}  // namespace tabulor::patient_file_import
