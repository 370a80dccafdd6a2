#include "practice_db.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "shell/cp1252.h"
#include "shell/msg.h"

namespace tabulor::upgrade::testing {

db::DateTime TestNow() { return db::DateTime{2026, 3, 10, 14, 5, 9}; }

PracticeDb::PracticeDb(const fs::path& root_dir, std::shared_ptr<db::Env> env)
    : root(root_dir), data_dir(root_dir / "DATA"), session(std::move(env)), DB(session, "DB"),
      tVersion(session, "DB", "Version.db") {
  session.AddAlias("KORVANE", data_dir.string());
  DB.SetAliasName("KORVANE");
  DB.Open();
}

PracticeDb::~PracticeDb() {
  try {
    tVersion.Close();
  } catch (...) {
  }
}

UpgradeSetup PracticeDb::Setup() {
  UpgradeSetup setup;
  setup.session = &session;
  setup.database = "DB";
  setup.version_table = &tVersion;
  setup.log_path = LogPath().string();
  setup.clock = &TestNow;
  return setup;
}

int32_t PracticeDb::RunUpgrade() {
  UpgradeRun run(Setup());
  return run.RunUpgrade();
}

std::vector<std::pair<std::string, int>> PracticeDb::VersionRows() {
  std::vector<std::pair<std::string, int>> rows;
  tVersion.Open();
  for (tVersion.First(); !tVersion.Eof(); tVersion.Next()) {
    const db::Field& version = tVersion.FieldByName("Version");
    rows.emplace_back(tVersion.FieldByName("NomTable").AsString(),
                      version.IsNull() ? -1 : VersionScale(version.AsFloat()));
  }
  tVersion.Close();
  return rows;
}

void PracticeDb::SetVersion(const std::string& table, double version) {
  tVersion.Open();
  if (!tVersion.FindKey({db::Value{table}})) throw std::runtime_error("no version row " + table);
  tVersion.Edit();
  tVersion.FieldByName("Version").SetAsFloat(version);
  tVersion.Post();
  tVersion.Close();
}

void PracticeDb::DeleteVersionRow(const std::string& table) {
  tVersion.Open();
  if (!tVersion.FindKey({db::Value{table}})) throw std::runtime_error("no version row " + table);
  tVersion.Delete();
  tVersion.Close();
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("tabulor-upgrade-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void Generate(const fs::path& root, int version, bool stray_users, int patients, uint64_t seed) {
  schema::GeneratorOptions options;
  options.version = version;
  options.patients = patients;
  options.seed = seed;
  options.stray_users_files = stray_users;
  db::Session session;
  schema::GeneratePracticeDatabase(root.string(), options, session);
}

std::vector<std::string> LogLines(const fs::path& log) {
  std::ifstream in(log, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<std::string> lines;
  const std::string all = text.str();
  size_t start = 0;
  while (start < all.size()) {
    const size_t end = all.find("\r\n", start);
    if (end == std::string::npos) throw std::runtime_error("a log line without CR LF: " + all.substr(start));
    lines.push_back(shell::Cp1252ToUtf8(all.substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> LoggedLabels(const fs::path& log) {
  const std::string marker = " : " + shell::msg::TableUpgrade();
  std::vector<std::string> labels;
  for (const std::string& line : LogLines(log))
    if (const size_t at = line.find(marker); at != std::string::npos) labels.push_back(line.substr(at + marker.size()));
  return labels;
}

std::vector<std::string> ExpectedLabels(int version) {
  const std::vector<std::pair<int, std::vector<std::string>>> steps = {
      {100, {"Patient - V1", "Examen - V1"}},
      {200,
       {"Patient - V2", "Clefs - V2", "Data - V2", "Examen - V2", "Mesure - V2", "Posturo - V2", "Type - V2",
        "Users - V2", "Version - V2"}},
      {210, {"Posturo - V2.1", "Jeu - V2.1"}},
      {230, {"Users - V2.3", "Ville - V2.3"}},
      {240, {"Type - V2.4"}},
      {250, {"Patient - V2.5", "Mesure - V2.5"}},
      {280, {"Users - V2.8", "Version - V2.8"}},
  };
  std::vector<std::string> labels;
  for (const auto& [below, step_labels] : steps)
    if (version < below) labels.insert(labels.end(), step_labels.begin(), step_labels.end());
  return labels;
}

}  // namespace tabulor::upgrade::testing
