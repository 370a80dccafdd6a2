#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "common/samples.h"
#include "db/access/connection.h"
#include "db/access/mdb_dump.h"
#include "db/access/table.h"
#include "db/common/datetime.h"

namespace tabulor::db::access::testing {
namespace fs = std::filesystem;

std::string SamplePath(const std::string& name) { return samples::Folder("access") + "/" + name; }

std::vector<std::string> SampleFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(samples::Folder("access")))
    if (entry.path().extension() == ".mdb") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "tabulor-access-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string RunProgram(const std::vector<std::string>& argv, int* status) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  std::array<char, 65536> buffer;
  ssize_t n;
  while ((n = read(fds[0], buffer.data(), buffer.size())) > 0) out.append(buffer.data(), static_cast<size_t>(n));
  close(fds[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return out;
}

namespace {
std::string NodeScript() { return std::string(ACCESS_TEST_DIR) + "/node/dump.mjs"; }
}  // namespace

bool SecondReaderAvailable() {
  int status = 0;
  RunProgram({"node", "-e", "0"}, &status);
  return status == 0 && fs::exists(std::string(ACCESS_TEST_DIR) + "/node/node_modules/mdb-reader");
}

std::string SecondReaderDump(const std::string& file, const std::string& table) {
  int status = 0;
  std::string out = RunProgram({"node", NodeScript(), file, table}, &status);
  if (status != 0) throw std::runtime_error("mdb-reader failed on " + file + " " + table);
  return out;
}

::testing::AssertionResult SameDump(const std::string& ours, const std::string& theirs) {
  std::istringstream a(ours), b(theirs);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool more_a = static_cast<bool>(std::getline(a, x));
    const bool more_b = static_cast<bool>(std::getline(b, y));
    if (!more_a && !more_b) return ::testing::AssertionSuccess();
    if (more_a != more_b || x != y) {
      size_t at = 0;
      while (at < x.size() && at < y.size() && x[at] == y[at]) ++at;
      const size_t from = at > 40 ? at - 40 : 0;
      return ::testing::AssertionFailure() << "line " << line << " differs at column " << at << ":\n  ours:   "
                                           << x.substr(from, 120) << "\n  theirs: " << y.substr(from, 120);
    }
  }
}

TableData ReadThroughLayer(const std::string& file, const std::string& table_name) {
  Connection connection;
  connection.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False");
  connection.Open();
  Table table(connection);
  table.SetTableName(table_name);
  table.Open();
  TableData data;
  data.name = table_name;
  data.columns = table.Columns();
  for (table.First(); !table.Eof(); table.Next()) {
    std::vector<Cell> row;
    for (const auto& column : data.columns) row.push_back(table.FieldByName(column.name).Value());
    data.rows.push_back(std::move(row));
  }
  return data;
}

std::string LayerDump(const std::string& file, const std::string& table) {
  const TableData data = ReadThroughLayer(file, table);
  std::string out = "#fields";
  for (const auto& c : data.columns) out += "\t" + c.name + ":" + std::to_string(static_cast<int>(c.type));
  out += "\n";
  for (const auto& row : data.rows) {
    for (size_t i = 0; i < row.size(); ++i) out += (i ? "\t" : "") + DumpCell(row[i], false);
    out += "\n";
  }
  return out;
}

std::vector<std::vector<std::string>> MdbExportRows(const std::string& file, const std::string& table) {
  int status = 0;
  // Separators no sample text holds (one sample has every character up to U+00FF).
  const std::string field_separator = "\x1f<|F|>", row_separator = "\x1e<|R|>";
  const std::string out = RunProgram({"mdb-export", "-H", "-Q", "-d", field_separator, "-R", row_separator, "-0", kExportNull, "-b", "hex",
                                      "-T", "%Y-%m-%d %H:%M:%S", file, table},
                                     &status);
  if (status != 0) throw std::runtime_error("mdb-export failed on " + file + " " + table);
  std::vector<std::vector<std::string>> rows;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find(row_separator, start);
    if (end == std::string::npos) end = out.size();
    std::vector<std::string> cells;
    const std::string line = out.substr(start, end - start);
    size_t cell_start = 0;
    while (true) {
      const size_t sep = line.find(field_separator, cell_start);
      cells.push_back(line.substr(cell_start, sep == std::string::npos ? std::string::npos : sep - cell_start));
      if (sep == std::string::npos) break;
      cell_start = sep + field_separator.size();
    }
    rows.push_back(std::move(cells));
    start = end + row_separator.size();
  }
  return rows;
}

std::string ExportForm(const Cell& cell, const ColumnInfo& column) {
  char buffer[64];
  switch (cell.kind) {
    case Cell::Kind::kNull: return kExportNull;
    case Cell::Kind::kText: return cell.text.empty() && column.type != ColumnType::kGuid ? kExportNull : cell.text;
    case Cell::Kind::kInteger: return std::to_string(cell.integer);
    case Cell::Kind::kBoolean: return cell.integer ? "1" : "0";
    case Cell::Kind::kFloat:
      if (column.type == ColumnType::kSingle) std::snprintf(buffer, sizeof buffer, "%.8g", cell.number);
      else if (column.type == ColumnType::kCurrency) std::snprintf(buffer, sizeof buffer, "%.4f", cell.number);
      else std::snprintf(buffer, sizeof buffer, "%.17g", cell.number);
      return buffer;
    case Cell::Kind::kDateTime: {
      const DateTime t = DateTime::FromOleDate(cell.number);
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
      return buffer;
    }
    case Cell::Kind::kBytes: {
      if (cell.text.empty()) return kExportNull;
      std::string hex;
      for (unsigned char b : cell.text) {
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        hex += buffer;
      }
      return hex;
    }
  }
  return {};
}

bool SameExportedValue(const std::string& ours, const std::string& theirs, const ColumnInfo& column) {
  if (ours == theirs) return true;
  if (column.type == ColumnType::kDouble || column.type == ColumnType::kNumeric) {
    char* end = nullptr;
    const double a = std::strtod(ours.c_str(), &end);
    const double b = std::strtod(theirs.c_str(), &end);
    return std::fabs(a - b) <= 1e-15 * std::fmax(std::fabs(a), std::fabs(b));
  }
  if (column.type == ColumnType::kBinary || column.type == ColumnType::kOle) {
    return strcasecmp(ours.c_str(), theirs.c_str()) == 0;
  }
  return false;
}

}  // namespace tabulor::db::access::testing
