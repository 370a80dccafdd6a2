// tabulor-import access FILE.mdb [--full] [--user NAME]: the Access import of
// the main window without a window. The current user is NAME (found without
// regard to case), or the first user in name order as the wizard preselects.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "access_import/access_import_run.h"
#include "access_import/balantis_source.h"
#include "db/access/error.h"
#include "import_command.h"
#include "progress.h"
#include "shell/formats.h"
#include "shell/log_file.h"

namespace {

using namespace tabulor;

class StderrEvents : public access_import::AccessImportEvents {
 public:
  void ReportLine(const std::string& text) override { progress_.ReportLine(text); }
  void ProgressStarted(int64_t patients) override { progress_.Start(patients, "patients"); }
  void ProgressMoved(int64_t position) override { progress_.Move(position); }
  void Finish() { progress_.Finish(); }

 private:
  import_tool::StderrProgress progress_;
};

int32_t UserKey(const shell::FunctionContext& context, const std::string& name) {
  db::Table users(context.Session(), context.database, "Users.DB");
  users.SetIndexName("Utilisateur existant");
  users.Open();
  if (name.empty()) {
    users.First();
    return users.Eof() ? 0 : static_cast<int32_t>(users.FieldByName("PK_USE").AsInteger());
  }
  if (users.FindKey({db::Value{name}})) return static_cast<int32_t>(users.FieldByName("PK_USE").AsInteger());
  throw std::runtime_error("Utilisateur " + name + " introuvable");
}

int RunAccess(const shell::FunctionContext& context, const std::vector<std::string>& args) {
  std::string file;
  std::string user;
  bool full = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--full") full = true;
    else if (args[i] == "--user" && i + 1 < args.size()) user = args[++i];
    else if (file.empty() && args[i].rfind("--", 0) != 0) file = args[i];
    else {
      std::fprintf(stderr, "usage: tabulor-import access FILE.mdb [--full] [--user NAME]\n");
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: tabulor-import access FILE.mdb [--full] [--user NAME]\n");
    return 2;
  }
  const std::filesystem::path path = std::filesystem::absolute(file);
  const std::string directory = path.parent_path().string();
  // The wizard's format while it lives: dates of the source read and written with two-digit years.
  shell::SetShortDateFormat("dd/mm/yy");
  access_import::BalantisSource source;
  try {
    source.Open(directory, path.filename().string());
  } catch (const std::exception& e) {
    context.Messages().ShowError(access_import::SourceOpenFailure(directory, e.what()));
    return 1;
  }
  const int32_t user_key = UserKey(context, user);
  shell::LogFile log = shell::LogFile::InDirectory(context.ProgramDirOrCurrent(), shell::kImportLogName);
  StderrEvents events;
  access_import::AccessImportRun run(context.Session(), context.database, source, &log, events,
                                     access_import::RunOptions{full, user_key});
  int status = 0;
  try {
    run.Run();
  } catch (const std::exception& e) {
    events.Finish();
    context.Messages().ShowError(e.what());
    status = 1;
  }
  events.Finish();
  log.Close();
  using access_import::Counter;
  import_tool::PrintCounter("patients", run.Count(Counter::kPatients));
  import_tool::PrintCounter("existing patients", run.Count(Counter::kExistingPatients));
  import_tool::PrintCounter("measurements", run.Count(Counter::kMeasurements));
  import_tool::PrintCounter("types", run.Count(Counter::kTypes));
  import_tool::PrintCounter("norms", run.Count(Counter::kNorms));
  import_tool::PrintCounter("exercises", run.Count(Counter::kExercises));
  return status;
}

const import_tool::ImportCommandRegistration kAccess{"access", "FILE.mdb [--full] [--user NAME]", RunAccess};

}  // namespace
