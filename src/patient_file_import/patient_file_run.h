#pragma once
// The import of a Pedora patient file: the source is opened and counted, the
// current user chosen among Users.DB, and a run walks the file's Patients,
// completes missing first names and birth dates, skips the patients already
// in Patient.DB (Patient_Existant) and adds the others under the chosen user.
// Every event is told in the report and in IMPORT.log. The run lands as one
// unit of work: either every added patient is on disk or none is.
//
// The practice tables are opened when first needed, so that an instance that
// is never used (the wizard kept hidden from start-up) holds no table and the
// other functions, the upgrade among them, can take them for themselves.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/access/connection.h"
#include "db/access/table.h"
#include "db/paradox/engine.h"
#include "shell/function_context.h"

namespace tabulor::patient_file_import {

// Counters of a run; wide enough never to wrap.
struct PatientFileCounts {
  uint64_t imported = 0;  // patients added
  uint64_t existing = 0;  // patients already present
};

// What a run tells its view. Progress comes once per source patient, before
// it is read: the window lets its pending messages through there.
class PatientFileObserver {
 public:
  virtual ~PatientFileObserver() = default;
  virtual void Started(int64_t patients) = 0;
  virtual void Progressed(int64_t done) = 0;
  virtual void CountsChanged(const PatientFileCounts& counts) = 0;
  virtual void Reported(const std::string& line) = 0;
};

struct PatientFileUser {
  int64_t key = 0;  // PK_USE
  std::string name;
};

// The source could not be opened: `what()` is the whole message of the wizard.
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PatientFileImport {
 public:
  using Clock = std::function<db::DateTime()>;
  explicit PatientFileImport(const shell::FunctionContext& context, Clock clock = &db::DateTime::Now);
  ~PatientFileImport();
  PatientFileImport(const PatientFileImport&) = delete;
  PatientFileImport& operator=(const PatientFileImport&) = delete;

  // Closes the source if open, then opens `directory`/`file_name` and its
  // table Patients; gives its row count. Throws SourceError
  // ("Connection à la base de données <directory> impossible", two carriage
  // returns, the reason); the source is closed then.
  int64_t OpenSource(const std::string& directory, const std::string& file_name);
  bool SourceOpen() const;
  int64_t SourcePatients() const;

  // Users.DB in the order of "Utilisateur existant".
  std::vector<PatientFileUser> Users();
  // The user of that name as the index compares names (case aside); nullopt when none.
  std::optional<int64_t> FindUser(const std::string& name);

  // Imports every source patient under `user_key` (null FK_USE when absent).
  // A patient that cannot be stored is told and skipped; a birth date that is
  // not a date ends the run with an error naming the patient, and then
  // nothing of the run stays in the database. IMPORT.log is closed on every way out.
  PatientFileCounts Run(std::optional<int64_t> user_key, PatientFileObserver& observer);

  // Releases the practice tables (they are opened again when needed).
  void ClosePracticeTables();

 private:
  void OpenPracticeTables();
  void CloseSource();

  shell::FunctionContext context_;
  Clock clock_;
  std::unique_ptr<db::access::Connection> connection_;
  std::unique_ptr<db::access::Table> patients_source_;
  std::unique_ptr<db::Table> tPat_;
  std::unique_ptr<db::Table> tUser_;
};

}  // namespace tabulor::patient_file_import
