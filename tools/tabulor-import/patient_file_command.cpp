// tabulor-import patient-file FILE.mdb [--user NAME]: the patients of a Pedora
// patient file, under the user NAME ("Admin" by default), as the wizard imports them.
#include <cstdio>
#include <filesystem>

#include "import_command.h"
#include "patient_file_import/patient_file_run.h"
#include "progress.h"

namespace tabulor::import_tool {
namespace {

using patient_file_import::PatientFileCounts;

class StderrObserver : public patient_file_import::PatientFileObserver {
 public:
  void Started(int64_t patients) override { progress_.Start(patients, "patients"); }
  void Progressed(int64_t done) override { progress_.Move(done); }
  void CountsChanged(const PatientFileCounts&) override {}
  void Reported(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
  void Finish() { progress_.Finish(); }

 private:
  StderrProgress progress_;
};

int RunPatientFile(const shell::FunctionContext& context, const std::vector<std::string>& args) {
  std::string file, user = "Admin";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--user" && i + 1 < args.size()) user = args[++i];
    else if (file.empty()) file = args[i];
    else return 2;
  }
  if (file.empty()) return 2;
  const std::filesystem::path path = std::filesystem::absolute(file);
  patient_file_import::PatientFileImport run(context);
  try {
    run.OpenSource(path.parent_path().string(), path.filename().string());
  } catch (const patient_file_import::SourceError& e) {
    context.Messages().ShowError(e.what());
    return 1;
  }
  const std::optional<int64_t> user_key = run.FindUser(user);
  if (!user_key) {
    context.Messages().ShowError("utilisateur " + user + " introuvable dans Users.DB");
    return 1;
  }
  StderrObserver observer;
  const PatientFileCounts counts = run.Run(user_key, observer);
  observer.Finish();
  PrintCounter("Patient(s)", static_cast<int64_t>(counts.imported));
  PrintCounter("Patient(s) existant(s)", static_cast<int64_t>(counts.existing));
  return 0;
}

const ImportCommandRegistration kPatientFile{"patient-file", "FILE.mdb [--user NAME]", &RunPatientFile};

}  // namespace
}  // namespace tabulor::import_tool
