#pragma once
// One use of the database upgrade, behind the form and the unattended switch
// alike: the summary of Version.db, the choice of the version steps from the
// "Patient" row, the final stamping at the required version, and UPGRADE.log.
// The version steps (steps/version_steps.h) work through the objects it holds.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/common/datetime.h"
#include "db/paradox/engine.h"
#include "shell/function_context.h"
#include "shell/log_file.h"
#include "shell/schema_version.h"

namespace tabulor::upgrade {

struct UpgradeSetup {
  db::Session* session = nullptr;      // null: the process's session
  std::string database = "DB";         // the database every table is opened in
  db::Table* version_table = nullptr;  // the data module's tVersion; required
  std::string log_path;                // empty: UPGRADE.log in the program's directory
  std::function<db::DateTime()> clock; // null: the current date and time
  int32_t required_version = shell::kRequiredVersion;

  // The context's session, database and version table, UPGRADE.log in its program directory.
  static UpgradeSetup From(const shell::FunctionContext& context);
};

// One data row of the summary grid.
struct SummaryRow {
  std::string table;    // "NomTable"
  std::string version;  // "Version" in the locale's number format; empty when null
  std::string rows;     // row count; empty when the table is missing
  std::string fields;   // field count, or "Table non trouvée"
};

class UpgradeRun {
 public:
  // Opens the log (appending after a blank line, or creating it).
  explicit UpgradeRun(UpgradeSetup setup);
  ~UpgradeRun();
  UpgradeRun(const UpgradeRun&) = delete;
  UpgradeRun& operator=(const UpgradeRun&) = delete;

  // Reads every version row with its table's counts into Summary(). Returns the
  // lowest version (× 100, at most the required one), or -1 when a row names
  // "Patient" or "Examen" and that table is missing.
  int32_t FillSummary(bool log_missing);
  const std::vector<SummaryRow>& Summary() const { return summary_; }

  // Runs the steps due for the "Patient" row's version, then stamps every row
  // at the required version. Returns 1, or -1 when there is no "Patient" row
  // (nothing runs). A step's error passes through and nothing is stamped.
  int32_t RunUpgrade();

  // What the steps work with.
  db::Session& session() { return session_; }
  const std::string& database() const { return setup_.database; }
  db::Table& table() { return table_; }       // pointed at one table after another
  db::Table& versions() { return versions_; }  // Version.db, open during the run
  std::string DatabaseDirectory() const;
  int32_t required_version() const { return setup_.required_version; }
  double RequiredVersionNumber() const { return setup_.required_version / 100.0; }
  db::DateTime Now() const;
  void ExecSql(std::string_view statement);
  // "date time : Mise à jour de la table <label>".
  void LogItem(std::string_view label);

 private:
  void LogLine(std::string_view text);
  void Stamp();

  UpgradeSetup setup_;
  db::Session& session_;
  db::Table& versions_;
  db::Table table_;
  shell::LogFile log_;
  std::vector<SummaryRow> summary_;
};

// A Version.db value on the integer scale (× 100, rounded to nearest, ties to even).
int32_t VersionScale(double version);

}  // namespace tabulor::upgrade
