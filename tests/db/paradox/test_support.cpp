#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "commands.h"
#include "common/samples.h"

#include "db/paradox/names.h"
#include "db/paradox/index/index_build.h"
#include "db/paradox/table_family.h"

namespace fs = std::filesystem;

namespace tabulor::db::testing {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = (fs::temp_directory_path() / ("tabulor-px-" + std::to_string(::getpid()) + "-" + std::to_string(counter++))).string();
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string SamplesDir() { return samples::Folder("paradox"); }

void CopySampleFolder(const std::string& folder, const std::string& to) {
  for (const auto& e : fs::directory_iterator(SamplesDir() + "/" + folder)) {
    if (!e.is_regular_file()) continue;
    fs::path dst = fs::path(to) / e.path().filename();
    fs::copy_file(e.path(), dst, fs::copy_options::overwrite_existing);
    fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  }
}

std::vector<std::string> AllSampleTables() {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(SamplesDir())) {
    std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.size() > 3 && names::EqualNoCase(name.substr(name.size() - 3), ".DB"))
      out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string DumpTable(Session& session, const std::string& dir, const std::string& table) {
  Table t(session, dir, table);
  t.SetReadOnly(true);
  t.Open();
  std::ostringstream out;
  tools::WriteDump(out, t, false);
  return out.str();
}

std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string la, lb;
  for (int line = 1;; ++line) {
    bool ga = static_cast<bool>(std::getline(sa, la)), gb = static_cast<bool>(std::getline(sb, lb));
    if (!ga && !gb) return {};
    if (ga != gb || la != lb)
      return "line " + std::to_string(line) + ":\n  " + (ga ? la : "<end>") + "\n  " + (gb ? lb : "<end>");
  }
}

std::vector<std::string> VerifyTable(const std::string& dir, const std::string& table) {
  auto env = Env::Default();
  FamilyFiles files = FamilyFiles::Find(*env, dir, table);
  TableFamily fam(env, files, table, true);
  return fam.Verify();
}

std::vector<std::string> IndexFilesNotAsBuilt(const std::string& dir, const std::string& table) {
  auto env = Env::Default();
  FamilyFiles files = FamilyFiles::Find(*env, dir, table);
  TableFamily fam(env, files, table, true);
  auto read = [&](const std::string& name) {
    std::unique_ptr<File> f = env->Open(dir + "/" + name, OpenMode::kRead);
    std::vector<uint8_t> bytes(f->Size());
    bytes.resize(f->ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
  };
  std::vector<std::string> differing;
  for (const index::IndexFiles& idx : fam.SecondaryIndexes()) {
    const std::vector<uint8_t> x = read(idx.x_name), y = read(idx.y_name);
    auto header = [](const std::vector<uint8_t>& file) {
      const format::Header whole = index::ParseHeaderBytes(file);
      return index::ParseHeaderBytes({file.begin(), file.begin() + whole.header_size});
    };
    const format::Header xh = header(x), yh = header(y);
    index::TableStamps stamps;
    stamps.structure = xh.raw[format::hdr::kChangeCount2];
    stamps.keyed = fam.Definition().key_field_count > 0;
    stamps.primary_index = xh.raw[0x2F];
    const index::KeyLayout layout(fam.Header(), fam.Definition().key_field_count, idx, fam.Codec());
    const index::IndexImage image = index::BuildIndexImage(fam.Rows(), layout, xh, yh, stamps, index::Counters::kKept);
    if (image.x != x) differing.push_back(idx.x_name);
    if (image.y != y) differing.push_back(idx.y_name);
  }
  return differing;
}

ToolRun RunTool(const std::string& args) {
  const std::string cmd = std::string(TABULOR_BUILD_DIR) + "/tabulor-db " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run " + cmd);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  return {WEXITSTATUS(status), out};
}

}  // namespace tabulor::db::testing
