#include "db/paradox/storage/unit_journal.h"

#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>

#include "db/paradox/storage/journal.h"

namespace tabulor::db::storage {
namespace {

constexpr char kFirstLine[] = "tabulor unit of work 1\n";
constexpr char kPrefix[] = "tabulor-unit-";
constexpr char kSuffix[] = ".journal";

std::mutex& LiveMutex() {
  static std::mutex m;
  return m;
}
std::set<std::string>& LiveUnits() {
  static std::set<std::string> units;
  return units;
}

std::string NewName() {
  std::random_device rd;
  uint64_t v = (static_cast<uint64_t>(rd()) << 32) ^ rd();
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return std::string(kPrefix) + buf + kSuffix;
}

// The member journals and created files a unit journal lists; a last line cut
// short by a crash announced a change that never began.
struct Listing {
  std::vector<std::string> journals;
  std::vector<std::string> files;
};

Listing Read(Env& env, const std::string& path) {
  Listing out;
  std::string data;
  {
    auto f = env.Open(path, OpenMode::kRead);
    data.resize(static_cast<size_t>(f->Size()));
    data.resize(f->ReadAt(0, data.data(), data.size()));
  }
  size_t pos = 0;
  for (size_t end; (end = data.find('\n', pos)) != std::string::npos; pos = end + 1) {
    std::string line = data.substr(pos, end - pos);
    if (line.rfind("journal ", 0) == 0) out.journals.push_back(line.substr(8));
    else if (line.rfind("file ", 0) == 0) out.files.push_back(line.substr(5));
  }
  return out;
}

}  // namespace

UnitJournal::UnitJournal(Env& env, std::string directory)
    : env_(env), directory_(std::move(directory)), name_(NewName()) {
  {
    std::lock_guard<std::mutex> lock(LiveMutex());
    LiveUnits().insert(Path());
  }
  try {
    file_ = env_.Open(Path(), OpenMode::kCreate);
    Append(kFirstLine);
    env_.SyncDirectory(directory_);
  } catch (...) {
    std::lock_guard<std::mutex> lock(LiveMutex());
    LiveUnits().erase(Path());
    throw;
  }
}

UnitJournal::~UnitJournal() {
  std::lock_guard<std::mutex> lock(LiveMutex());
  LiveUnits().erase(Path());
}

void UnitJournal::Append(const std::string& line) {
  file_->WriteAt(size_, line.data(), line.size());
  file_->Sync();
  size_ += line.size();
}

void UnitJournal::AddMember(const std::string& journal_name) { Append("journal " + journal_name + "\n"); }

void UnitJournal::AddCreatedFile(const std::string& path) { AddCreatedFiles({path}); }

void UnitJournal::AddCreatedFiles(const std::vector<std::string>& paths) {
  std::string lines;
  for (const std::string& path : paths) {
    if (path.find('\n') != std::string::npos) throw std::runtime_error("a file name with a line break: " + path);
    lines += "file " + path + "\n";
  }
  if (!lines.empty()) Append(lines);
}

void UnitJournal::Commit() {
  file_.reset();
  env_.Remove(Path());
  try {
    env_.SyncDirectory(directory_);
  } catch (...) {
    // The unit journal is gone for this process: the unit counts as committed.
  }
}

void UnitJournal::RollBack() {
  file_.reset();
  {
    std::lock_guard<std::mutex> lock(LiveMutex());
    LiveUnits().erase(Path());
  }
  Recover(env_, directory_, name_);
}

bool UnitJournal::IsLive(const std::string& path) {
  std::lock_guard<std::mutex> lock(LiveMutex());
  return LiveUnits().count(path) > 0;
}

bool UnitJournal::IsUnitJournalName(const std::string& file_name) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  return file_name.size() > prefix.size() + suffix.size() && file_name.rfind(prefix, 0) == 0 &&
         file_name.compare(file_name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void UnitJournal::Recover(Env& env, const std::string& directory, const std::string& name) {
  const std::string path = directory + "/" + name;
  if (!env.FileExists(path)) return;
  Listing listing = Read(env, path);
  for (const std::string& journal : listing.journals) Journal::RollBack(env, directory, journal);
  for (const std::string& file : listing.files)
    if (env.FileExists(file)) env.Remove(file);
  env.Remove(path);
  env.SyncDirectory(directory);
}

void UnitJournal::RecoverAbandoned(Env& env, const std::string& directory) {
  for (const std::string& entry : env.ListDirectory(directory))
    if (IsUnitJournalName(entry) && !IsLive(directory + "/" + entry)) Recover(env, directory, entry);
}

}  // namespace tabulor::db::storage
