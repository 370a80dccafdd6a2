#pragma once
// A generated practice database in a scratch directory, with its own engine
// session, the database "DB" on it and the version table, as the program has
// them when the upgrade opens.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade::testing {

namespace fs = std::filesystem;

// The fixed date the tests run on (expiry dates follow from it).
db::DateTime TestNow();

struct PracticeDb {
  PracticeDb(const fs::path& root, std::shared_ptr<db::Env> env = db::Env::Default());
  ~PracticeDb();

  fs::path root;      // the program's directory: UPGRADE.log goes here
  fs::path data_dir;  // root/DATA
  db::Session session;
  db::Database DB;
  db::Table tVersion;

  fs::path LogPath() const { return root / "UPGRADE.log"; }
  UpgradeSetup Setup();
  // One use of the upgrade, as the unattended switch does it.
  int32_t RunUpgrade();

  // Version.db rows in key order: name and version (× 100; -1 for null).
  std::vector<std::pair<std::string, int>> VersionRows();
  void SetVersion(const std::string& table, double version);
  void DeleteVersionRow(const std::string& table);
};

// A fresh scratch directory, removed when the test ends.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Generates a database at `version` into `root` (small, deterministic).
void Generate(const fs::path& root, int version, bool stray_users = false, int patients = 12, uint64_t seed = 7);

// The labels of the "Mise à jour de la table" lines of a log, in order.
std::vector<std::string> LoggedLabels(const fs::path& log);
// Every line of a log (cp1252 turned into UTF-8), without the line ends.
std::vector<std::string> LogLines(const fs::path& log);

// The labels a complete run from `version` writes, in order.
std::vector<std::string> ExpectedLabels(int version);

}  // namespace tabulor::upgrade::testing
