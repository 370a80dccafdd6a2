#pragma once
// The four tables of a Balantis Access database, linked as the import reads
// them: Sequences and Exercices follow the current patient, Types follows the
// current sequence.
#include <string>

#include "db/access/connection.h"
#include "db/access/table.h"

namespace tabulor::access_import {

inline constexpr const char* kBalantisFileName = "Balantis2000.mdb";

class BalantisSource {
 public:
  BalantisSource();
  BalantisSource(const BalantisSource&) = delete;
  BalantisSource& operator=(const BalantisSource&) = delete;

  // Closes what is open, then opens `directory`/`file_name` and its four tables
  // (Types, Sequences, Exercices, then Patients). Throws db::access::AccessError.
  void Open(const std::string& directory, const std::string& file_name);
  void Close();
  bool IsOpen() const { return patients.IsOpen(); }
  // The directory the database and its data folder are in.
  const std::string& Directory() const { return directory_; }

  // Row counts of the whole tables, taken as each was opened.
  int type_count = 0, sequence_count = 0, exercise_count = 0, patient_count = 0;

  db::access::Connection connection;
  db::access::Table patients;
  db::access::Table sequences;
  db::access::Table exercises;
  db::access::Table types;

 private:
  std::string directory_;
};

// "Connection à la base de données <dir> impossible", two carriage returns, the error's message.
std::string SourceOpenFailure(const std::string& directory, const std::string& error_message);

}  // namespace tabulor::access_import
