#pragma once
// Writes a complete practice database at any known schema version: every
// table with its indexes, realistic and deterministic rows for a seed,
// Version.db, and the letter and video files that the rows name.
//
// Layout written under the root directory:
//   DATA/              the Paradox tables
//   Documents/Mails/   the letters named by Docs.DB
//   movies/            the videos named by Mesure.DB
#include <cstdint>
#include <optional>
#include <string>

#include "db/common/datetime.h"
#include "db/paradox/engine.h"
#include "db/schema/version.h"

namespace tabulor::schema {

// Raw acquisitions above this many bytes (NbImages × DimImage) are the ones
// the compression takes.
constexpr int kCompressionThreshold = 20000;

constexpr int kMaxPatients = 100000;

struct GeneratorOptions {
  int version = kCurrentVersion;  // one of kKnownVersions
  int patients = 50;
  uint64_t seed = 1;
  // Below version 2: leave the files of an earlier "Users" table beside "User".
  bool stray_users_files = false;
  // Patients shared with the database generated with seed `share_seed` and
  // `share_patients` patients: about `share` of this database's patients have
  // the last name, first name and birth date of one of its patients.
  std::optional<uint64_t> share_seed;
  int share_patients = 0;
  double share = 0;
  // Frames of the large raw acquisitions (those compressed when stored) are
  // multiplied by this, for databases with more raw data per patient.
  double acquisition_scale = 1;
  // The day the database is as of; dates of records and examinations come before it.
  db::DateTime today{2025, 6, 30};
};

struct GenerationCounts {
  int64_t patients = 0, shared_patients = 0, examinations = 0, measurements = 0;
  int64_t data_rows = 0, posturo_rows = 0, exercises = 0, assessments = 0, documents = 0, videos = 0;
  int64_t compressed_blobs = 0, blob_bytes = 0;
};

// Who a patient is: what the imports match patients on.
struct PatientIdentity {
  std::string last_name;
  std::string first_name;  // empty for some patients
  std::optional<db::DateTime> birth_date;
  bool female = false;
};

// The identity of patient `index` (from 0) of the database generated with `seed`.
PatientIdentity IdentityOf(uint64_t seed, int index, const db::DateTime& today);

// Where the tables go under a generated root.
std::string DataDirectory(const std::string& root);

// Generates into `root` (created when missing). Refuses a root whose DATA
// directory already holds files, and options out of range, with
// std::invalid_argument; engine and file errors pass through.
GenerationCounts GeneratePracticeDatabase(const std::string& root, const GeneratorOptions& options,
                                          db::Session& session);
// The same through a session of its own that skips the syncs of durable
// writes: the files are complete when it returns, but a crash of the machine
// meanwhile may leave them damaged (generate again then).
GenerationCounts GeneratePracticeDatabase(const std::string& root, const GeneratorOptions& options);

}  // namespace tabulor::schema
