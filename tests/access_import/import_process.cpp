#include "access_import/import_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "db/paradox/engine.h"
#include "db/paradox/pxlib_reader.h"
#include "db/paradox/test_support.h"
#include "db/schema/generator/generator.h"

namespace tabulor::access_import::testing {
namespace {

const char* const kWrittenTables[] = {"Patient.DB", "Examen.DB", "Mesure.DB", "Posturo.DB",
                                      "Jeu.DB",     "Norme.DB",  "Type.DB"};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each line of a dump without the column named `field`.
std::string WithoutColumn(const std::string& dump, const std::string& field) {
  std::istringstream in(dump);
  std::string header;
  std::getline(in, header);
  int column = -1, i = -1;
  std::istringstream names(header);
  for (std::string name; std::getline(names, name, '\t'); ++i)
    if (name.rfind(field + ":", 0) == 0) column = i;
  if (column < 0) throw std::runtime_error("no field " + field + " in " + header);
  std::string out = header + '\n';
  for (std::string line; std::getline(in, line);) {
    std::istringstream cells(line);
    std::string cell, kept;
    for (int c = 0; std::getline(cells, cell, '\t'); ++c)
      if (c != column) kept += (kept.empty() ? "" : "\t") + cell;
    out += kept + '\n';
  }
  return out;
}

// The first line of a dump as pxlib gives it: types and sizes without the names.
std::string WithoutNames(const std::string& dump) {
  std::istringstream in(dump);
  std::string header, cell;
  std::getline(in, header);
  std::istringstream cells(header);
  std::getline(cells, cell, '\t');
  std::string out = cell;
  while (std::getline(cells, cell, '\t')) out += "\t" + cell.substr(cell.find(':'));
  return out + '\n' + dump.substr(std::min(dump.size(), header.size() + 1));
}

std::string TableState(db::Session& session, const std::string& data_dir, const std::string& table) {
  std::string dump = db::testing::DumpTable(session, data_dir, table);
  if (table == "Patient.DB") dump = WithoutColumn(dump, "DATE_PAT");
  return "== " + table + "\n" + dump;
}

}  // namespace

ProgramDirs::ProgramDirs(const std::string& tag)
    : root_(std::filesystem::temp_directory_path() / (tag + "_" + std::to_string(::getpid()))) {
  std::filesystem::remove_all(root_);
  schema::GeneratorOptions options;
  options.patients = 3;
  schema::GeneratePracticeDatabase((root_ / "base").string(), options);
}

ProgramDirs::~ProgramDirs() { std::filesystem::remove_all(root_); }

std::string ProgramDirs::Fresh(const std::string& name) const {
  std::filesystem::remove_all(root_ / name);
  std::filesystem::copy(root_ / "base", root_ / name, std::filesystem::copy_options::recursive);
  return (root_ / name).string();
}

std::string ProgramDirs::Data(const std::string& name) const {
  return schema::DataDirectory((root_ / name).string());
}

ImportOutcome RunImportTool(const std::string& program_dir, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& environment) {
  const std::string tool = std::string(TABULOR_BUILD_DIR) + "/tabulor-import";
  const std::string err_file = program_dir + "/tabulor-import.err";
  std::vector<std::string> argv{tool, "--program-dir", program_dir};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("cannot fork");
  if (child == 0) {
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(tool.c_str(), raw.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) throw std::runtime_error("cannot wait for tabulor-import");
  ImportOutcome outcome;
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.err = Slurp(err_file);
  return outcome;
}

std::string PracticeState(const std::string& data_dir) {
  db::Session session;
  std::string state;
  for (const char* table : kWrittenTables) state += TableState(session, data_dir, table);
  return state;
}

std::string PatientState(const std::string& data_dir) {
  db::Session session;
  return TableState(session, data_dir, "Patient.DB");
}

std::string PxlibDifference(const std::string& data_dir, const std::string& table) {
  db::Session session;
  std::string path;
  {
    db::Table t(session, data_dir, table);
    t.SetReadOnly(true);
    t.Open();
    path = t.Path();
  }
  return db::testing::FirstDifference(WithoutNames(db::testing::DumpTable(session, data_dir, table)),
                                      db::testing::PxlibDump(path));
}

std::string VerifyProblems(const std::string& data_dir) {
  const std::string report = data_dir + "/../verify.txt";
  const std::string command =
      std::string(TABULOR_BUILD_DIR) + "/tabulor-db verify '" + data_dir + "' > '" + report + "' 2>&1";
  const int status = std::system(command.c_str());
  const std::string text = Slurp(report);
  std::remove(report.c_str());
  if (status == 0) return {};
  std::string problems;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (!line.ends_with(": ok")) problems += line + '\n';
  return problems.empty() ? "tabulor-db verify failed" : problems;
}

std::string KillLibrary() { return TABULOR_KILL_LIBRARY; }

}  // namespace tabulor::access_import::testing
