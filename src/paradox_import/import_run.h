#pragma once
// The run of the database import: every patient of the source with its
// examinations (and their clinical assessment), measurements (posturography
// and raw data rows, videos, norm), exercises and letters, the users,
// professions, pathologies and prescribers they name, then, when asked, the
// practice record and the protocols. Reference rows are matched by name, a
// patient by name, first name and birth date; every added row gets a new key
// and every link the key of the destination row found or added for it.
//
// The whole run is one unit of work on the practice database: a kill leaves
// the practice as before the run or with all of it, and the files it copied
// are removed with a unit that did not land. A run that stops on an error
// outside the record steps keeps (commits) what it stored, then throws.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "paradox_import/import_events.h"
#include "paradox_import/import_folders.h"
#include "paradox_import/paradox_source.h"
#include "shell/event_line.h"
#include "shell/log_file.h"

namespace tabulor::db {
class UnitOfWork;
}

namespace tabulor::paradox_import {

struct RunOptions {
  bool import_practice = false;   // cbClefs
  bool import_protocols = false;  // cbType
  // Bounds the changes a flush merges into the index files, and so the memory
  // the unit holds; each flush also rereads the destination's index files
  // whole (they stay as a full build makes them), so flushing more often costs
  // time that grows with the destination.
  int flush_every_patients = 2000;
};

// Where the run finds what lies beside the practice database.
struct Destination {
  db::Session* session = nullptr;
  std::string database = "DB";
  std::string program_dir;  // holds the configuration file (video numbering)
  ImportFolders folders;
};

class ImportRun {
 public:
  using Clock = std::function<db::DateTime()>;
  // `source` open; `log` (IMPORT.log, may be null) and `events` outlive the run.
  ImportRun(Destination destination, ParadoxSource& source, shell::LogFile* log, ImportEvents& events,
            RunOptions options, Clock clock = &db::DateTime::Now);
  ~ImportRun();

  // Throws on an error outside the record steps, after committing what was stored.
  void Run();

  int64_t Count(Counter counter) const { return counts_[static_cast<size_t>(counter)]; }

 private:
  struct Tables;
  // The destination patient the details of the current source patient go to.
  struct StoredPatient {
    int64_t key = 0;       // PK_PAT
    std::string name;      // NOM
    int64_t adult = 0;     // CLASSE
  };
  void Walk();
  void FlushAll();
  void Increment(Counter counter);

  // Patients, examinations, measurements, exercises.
  std::optional<StoredPatient> PatientStep();
  std::optional<StoredPatient> ImportPatient(const std::string& name, const std::string& first_name,
                                             const db::DateTime& birth);
  uint16_t AgeInYears(const db::DateTime& date) const;
  std::optional<int64_t> ImportExam(const StoredPatient& patient);
  void ImportAssessment(int64_t exam_key);
  void ImportMeasure(int64_t exam_key);
  void ImportExercises(const StoredPatient& patient);
  void SkipPatientDetails();
  void SkipExamDetails();

  // Reference rows and the passes after the patients.
  void ResolveUser();
  std::optional<int64_t> ResolveProfession();
  std::optional<int64_t> ResolvePathology();
  std::optional<int64_t> ResolvePrescriber();
  std::optional<int64_t> ResolveNorm(db::Table& source_norm);
  void ImportProtocols();
  void ImportPractice();
  void ImportDocuments(int64_t patient_key);
  struct LetterPaths {
    std::string name, from, to;
  };
  LetterPaths LetterPathsOf(db::Table& documents) const;

  // Files.
  // Copies `from` to the new file `to` (never over an existing one), noted in the
  // unit so that a run that does not land removes it; false when nothing was copied.
  bool CopyNewFile(const std::string& from, const std::string& to);
  // Replaces each name by the name of its copy (empty when not copied); gives the copies' paths.
  std::vector<std::string> CopyVideoFiles(std::string& left, std::string& right);
  void RemoveCopies(const std::vector<std::string>& paths);
  void NoteNextVideos(int32_t next, const std::string& extension);
  // Notes the copies of the next letters unless the notes already reach past `source_patient`'s.
  void NoteNextLetters(int64_t source_patient);
  // Lets go of the notes of the letters of the patients before `source_patient`, copied or not.
  void ForgetLettersBefore(int64_t source_patient);
  // The next video number back into the settings file, when copies took numbers.
  void SaveVideoNumbering();
  void SyncCopies();  // the copies on disk before the unit that names them lands

  Destination destination_;
  ParadoxSource& source_;
  ImportEvents& events_;
  shell::EventReporter reporter_;
  RunOptions options_;
  Clock clock_;
  std::unique_ptr<Tables> tables_;
  db::UnitOfWork* unit_ = nullptr;
  int32_t current_user_key_ = 0;  // CurrentUserKey
  bool norms_follow_posturo_ = false;
  bool source_has_videos_ = false;  // the source's movies folder, looked for once a run
  std::vector<std::string> unsynced_folders_;  // that received copies since they were last synced
  struct VideoNumbering {
    std::optional<std::string> settings;  // Ortalis.INI or Kestra.INI; none: videos are not copied
    int32_t next = 1;                     // [Video] LastIndex
    bool changed = false;
  };
  std::optional<VideoNumbering> video_numbering_;  // read at the run's first video
  std::set<std::string> noted_ahead_;  // videos and letters noted in the unit ahead of their copies
  bool letters_ahead_started_ = false;
  // The letters noted ahead, in the order of the walk, with their source
  // patient, and the patient of the next letter the notes have not reached
  // (none: they reached the end), so that only a window of them is held.
  struct NotedLetter {
    int64_t patient;
    std::string to;
  };
  std::deque<NotedLetter> letters_ahead_;
  std::optional<int64_t> letters_ahead_next_patient_;
  std::array<int64_t, kCounterCount> counts_{};
};

}  // namespace tabulor::paradox_import
