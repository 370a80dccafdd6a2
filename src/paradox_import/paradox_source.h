#pragma once
// A practice database opened as the source of an import: the connection
// "DBImport" on the alias KESTRA_IMPORT, its tables read-only and linked as
// details of the source patient, examination and measurement, and their counts.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "db/paradox/engine.h"
#include "paradox_import/source_directory.h"

namespace tabulor::paradox_import {

inline constexpr const char* kSourceDatabase = "DBImport";
inline constexpr const char* kSourceAlias = "KESTRA_IMPORT";

// The source could not be opened: `what()` is the whole message the wizard shows
// ("Connection à la base de données <dir> impossible", two carriage returns, the reason).
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SourceCounts {
  int64_t patients = 0, exams = 0, measures = 0, prescribers = 0, users = 0, professions = 0, pathologies = 0,
          protocols = 0, norms = 0, exercises = 0;
};

// The source tables. Details follow their masters: exams, exercises, documents,
// user and profession the patient; measurements, assessments, prescriber and
// pathology the exam; the data row the measurement. The posturography row's
// master is chosen per measurement by the run; the norm follows it during a run.
struct SourceTables {
  SourceTables(db::Session& session, const SourcePresence& presence);
  db::Table patients, exams, measures, data, users, professions, prescribers, pathologies, clefs;
  std::unique_ptr<db::Table> posturo, norms, exercises, documents, assessments, protocols;
  // The letters again, in the same order but unlinked: the run reads ahead in
  // it to note the copies of the next letters in one write.
  std::unique_ptr<db::Table> documents_ahead;
};

class ParadoxSource {
 public:
  explicit ParadoxSource(db::Session& session);
  ~ParadoxSource();  // closes the tables and disconnects; the alias stays known to the session
  ParadoxSource(const ParadoxSource&) = delete;
  ParadoxSource& operator=(const ParadoxSource&) = delete;

  // Closes any source first. Every table is checked (structure, blobs, indexes)
  // and the fields the import cannot do without must exist. Throws SourceError.
  void Open(const std::string& directory);
  void Close();
  bool IsOpen() const { return tables_ != nullptr; }

  const std::string& Directory() const { return directory_; }
  const std::string& Root() const { return root_; }  // SourceRoot
  const SourcePresence& Presence() const { return presence_; }
  const SourceCounts& Counts() const { return counts_; }
  // The warnings of the summary page: videos or letters that will not be found.
  bool VideosMissing() const;
  // The videos' folder beside the source's tables (SourceRoot/movies).
  bool HasVideoFolder() const;
  bool DocumentsMissing() const;

  SourceTables& Tables() { return *tables_; }

 private:
  void OpenTables();
  db::Session& session_;
  db::Database database_;
  std::string directory_;
  std::string root_;
  SourcePresence presence_;
  SourceCounts counts_;
  std::unique_ptr<SourceTables> tables_;
};

}  // namespace tabulor::paradox_import
