#include "upgrade/upgrade_run.h"

#include <cmath>
#include <stdexcept>

#include "shell/event_line.h"
#include "shell/file_names.h"
#include "shell/formats.h"
#include "shell/msg.h"
#include "upgrade/steps/version_steps.h"

namespace tabulor::upgrade {
namespace {

constexpr std::string_view kPatientTable = "Patient";
constexpr std::string_view kExaminationTable = "Examen";

db::Table& RequiredVersionTable(db::Table* table) {
  if (!table) throw std::invalid_argument("The upgrade needs the version table Version.db");
  return *table;
}

shell::LogFile OpenLog(const std::string& path) {
  return path.empty() ? shell::LogFile::InProgramDir(shell::kUpgradeLogName) : shell::LogFile(path);
}

}  // namespace

UpgradeSetup UpgradeSetup::From(const shell::FunctionContext& context) {
  UpgradeSetup setup;
  setup.session = &context.Session();
  setup.database = context.database;
  setup.version_table = &context.VersionTable();
  setup.log_path = shell::FileInDirNoCase(context.ProgramDirOrCurrent(), shell::kUpgradeLogName);
  return setup;
}

int32_t VersionScale(double version) { return static_cast<int32_t>(std::nearbyint(version * 100.0)); }

UpgradeRun::UpgradeRun(UpgradeSetup setup)
    : setup_(std::move(setup)),
      session_(setup_.session ? *setup_.session : db::Session::Default()),
      versions_(RequiredVersionTable(setup_.version_table)),
      table_(session_, setup_.database, ""),
      log_(OpenLog(setup_.log_path)) {}

UpgradeRun::~UpgradeRun() {
  try {
    if (table_.Active()) table_.Close();
  } catch (...) {
    // The error that stopped the run has been reported; closing adds nothing.
  }
}

std::string UpgradeRun::DatabaseDirectory() const { return session_.ResolveDirectory(setup_.database); }

db::DateTime UpgradeRun::Now() const { return setup_.clock ? setup_.clock() : db::DateTime::Now(); }

void UpgradeRun::ExecSql(std::string_view statement) { db::ExecSql(session_, setup_.database, statement); }

void UpgradeRun::LogLine(std::string_view text) { log_.WriteLine(shell::EventLogLine(Now(), text)); }

void UpgradeRun::LogItem(std::string_view label) { LogLine(shell::msg::TableUpgrade() + std::string(label)); }

int32_t UpgradeRun::FillSummary(bool log_missing) {
  summary_.clear();
  int32_t lowest = setup_.required_version;
  db::Table& v = versions_;
  v.Open();
  for (v.First(); !v.Eof(); v.Next()) {
    SummaryRow row;
    row.table = v.FieldByName("NomTable").AsString();
    const db::Field& version = v.FieldByName("Version");
    if (!version.IsNull()) row.version = shell::FormatNumber(version.AsFloat());
    if (version.AsFloat() < lowest / 100.0) lowest = VersionScale(version.AsFloat());

    if (table_.Active()) table_.Close();
    table_.SetTableName(row.table);
    if (!row.table.empty() && table_.Exists()) {
      table_.Open();
      row.rows = std::to_string(table_.RecordCount());
      row.fields = std::to_string(table_.FieldCount());
      table_.Close();
    } else {
      if (log_missing) LogLine(shell::msg::TableNotFound() + " : " + row.table);
      row.fields = shell::msg::TableNotFound();
      if (row.table == kPatientTable || row.table == kExaminationTable) lowest = -1;
    }
    summary_.push_back(std::move(row));
  }
  v.Close();
  return lowest;
}

int32_t UpgradeRun::RunUpgrade() {
  versions_.Open();
  if (!versions_.FindKey({db::Value{std::string(kPatientTable)}})) return -1;
  const int32_t from = VersionScale(versions_.FieldByName("Version").AsFloat());
  for (const VersionStep& step : VersionSteps())
    if (from < step.below) step.run(*this);
  Stamp();
  return 1;
}

// Every row, the ones the steps appended included, ends at the required version.
void UpgradeRun::Stamp() {
  for (versions_.First(); !versions_.Eof(); versions_.Next()) {
    versions_.Edit();
    versions_.FieldByName("Version").SetAsFloat(RequiredVersionNumber());
    versions_.Post();
    versions_.FlushBuffers();
  }
}

}  // namespace tabulor::upgrade
