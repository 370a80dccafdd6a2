// tabulor-import paradox SOURCE_DIR [--practice] [--protocols]: the database import
// of the main window without a window. --practice overwrites the practice record
// with the source's, --protocols imports the source's protocols.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "import_command.h"
#include "paradox_import/import_folders.h"
#include "paradox_import/import_run.h"
#include "paradox_import/paradox_source.h"
#include "paradox_import/source_directory.h"
#include "progress.h"
#include "shell/log_file.h"
#include "shell/msg.h"

namespace {

using namespace tabulor;

constexpr const char* kUsage = "SOURCE_DIR [--practice] [--protocols]";

class StderrEvents : public paradox_import::ImportEvents {
 public:
  void ReportLine(const std::string& text) override { progress_.ReportLine(text); }
  void ProgressStarted(int64_t patients) override { progress_.Start(patients, "patients"); }
  void ProgressMoved(int64_t position) override { progress_.Move(position); }
  void Finish() { progress_.Finish(); }

 private:
  import_tool::StderrProgress progress_;
};

int Usage() {
  std::fprintf(stderr, "usage: tabulor-import paradox %s\n", kUsage);
  return 2;
}

int RunParadox(const shell::FunctionContext& context, const std::vector<std::string>& args) {
  std::string directory;
  paradox_import::RunOptions options;
  for (const std::string& arg : args) {
    if (arg == "--practice") options.import_practice = true;
    else if (arg == "--protocols") options.import_protocols = true;
    else if (directory.empty() && arg.rfind("--", 0) != 0) directory = arg;
    else return Usage();
  }
  if (directory.empty()) return Usage();
  directory = std::filesystem::absolute(directory).lexically_normal().string();
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  const std::string program_dir = context.ProgramDirOrCurrent();
  if (!paradox_import::IsAcceptableSource(directory, program_dir)) {
    context.Messages().ShowError(shell::msg::ConnectionImpossible(directory) + "\r\r" +
                                 "ce dossier n'est pas une autre base de données de patients");
    return 1;
  }
  paradox_import::ParadoxSource source(context.Session());
  try {
    source.Open(directory);
  } catch (const std::exception& e) {
    context.Messages().ShowError(e.what());
    return 1;
  }
  paradox_import::Destination destination{&context.Session(), context.database, program_dir,
                                          paradox_import::ReadImportFolders(program_dir)};
  shell::LogFile log = shell::LogFile::InDirectory(program_dir, shell::kImportLogName);
  StderrEvents events;
  paradox_import::ImportRun run(destination, source, &log, events, options);
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
  using paradox_import::Counter;
  const std::pair<const char*, Counter> counters[] = {
      {"patients", Counter::kPatientsAdded},         {"existing patients", Counter::kPatientsExisting},
      {"examinations", Counter::kExamsAdded},        {"measurements", Counter::kMeasuresAdded},
      {"prescribers", Counter::kPrescribersAdded},   {"users", Counter::kUsersAdded},
      {"professions", Counter::kProfessionsAdded},   {"pathologies", Counter::kPathologiesAdded},
      {"protocols", Counter::kProtocolsAdded},       {"norms", Counter::kNormsAdded},
      {"exercises", Counter::kExercisesAdded}};
  for (const auto& [label, counter] : counters) import_tool::PrintCounter(label, run.Count(counter));
  return status;
}

const import_tool::ImportCommandRegistration kParadox{"paradox", kUsage, RunParadox};

}  // namespace
