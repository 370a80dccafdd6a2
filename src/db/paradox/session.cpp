// The engine session (aliases, databases) and the table families it keeps open.
#include <unistd.h>

#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

#include "db/paradox/engine.h"
#include "db/paradox/names.h"
#include "db/paradox/session_impl.h"

namespace tabulor::db {

namespace {

std::string Trim(std::string s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  size_t b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

}  // namespace

std::string ResolvePathCase(Env& env, const std::string& path) {
  if (path.empty() || env.DirectoryExists(path) || env.FileExists(path)) return path;
  size_t slash = path.find_last_of('/');
  std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  parent = ResolvePathCase(env, parent);
  if (!env.DirectoryExists(parent)) return path;
  for (const std::string& entry : env.ListDirectory(parent))
    if (names::EqualNoCase(entry, leaf)) return (parent == "/" ? "" : parent) + "/" + entry;
  return path;
}

Session::Session(std::shared_ptr<Env> env) : env_(std::move(env)), impl_(std::make_unique<Impl>()) {}
Session::~Session() = default;

Session& Session::Default() {
  static Session session;
  return session;
}

bool Session::AliasExists(std::string_view name) const { return impl_->aliases.count(names::Upper(name)) > 0; }

void Session::AddAlias(std::string_view name, std::string_view path, std::string_view driver) {
  if (name.empty()) throw EngineError("An alias needs a name");
  if (AliasExists(name)) throw EngineError("Alias " + std::string(name) + " already exists");
  if (!names::EqualNoCase(driver, "PARADOX") && !names::EqualNoCase(driver, "STANDARD"))
    throw EngineError("Alias " + std::string(name) + ": unknown driver " + std::string(driver));
  impl_->aliases[names::Upper(name)] = {std::string(name), names::NormalizeDirectory(path)};
}

void Session::DeleteAlias(std::string_view name) {
  if (impl_->aliases.erase(names::Upper(name)) == 0) throw EngineError("Alias " + std::string(name) + " does not exist");
}

std::string Session::AliasPath(std::string_view name) const {
  auto it = impl_->aliases.find(names::Upper(name));
  if (it == impl_->aliases.end()) throw EngineError("Alias " + std::string(name) + " does not exist");
  return it->second.path;
}

void Session::LoadAliasFile(const std::string& path) {
  // Read whole through the session's disk seam; a file that cannot be opened adds none, as a missing one.
  if (!env_->FileExists(path)) return;
  std::unique_ptr<File> file;
  try {
    file = env_->Open(path, OpenMode::kRead);
  } catch (const std::system_error&) {
    return;
  }
  std::string text(static_cast<size_t>(file->Size()), '\0');
  text.resize(file->ReadAt(0, text.data(), text.size()));
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    size_t eq = line.find('=');
    if (!names::EqualNoCase(section, "Aliases") || eq == std::string::npos) continue;
    std::string name = Trim(line.substr(0, eq));
    std::string dir = Trim(line.substr(eq + 1));
    if (name.empty() || dir.empty()) continue;
    impl_->aliases[names::Upper(name)] = {name, names::NormalizeDirectory(dir)};
  }
}

std::string Session::DefaultAliasFilePath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  size_t slash = exe.find_last_of('/');
  return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/tabulor-aliases.ini";
}

std::string Session::ResolveDirectory(std::string_view database_or_alias) const {
  std::string key = names::Upper(database_or_alias);
  std::string dir;
  if (auto db = impl_->databases.find(key); db != impl_->databases.end())
    dir = AliasPath(db->second);
  else if (auto al = impl_->aliases.find(key); al != impl_->aliases.end())
    dir = al->second.path;
  else
    dir = names::NormalizeDirectory(database_or_alias);
  if (dir.empty()) dir = ".";
  return ResolvePathCase(*env_, dir);
}

// ---- Database ----

Database::Database(Session& session, std::string name) : session_(session), name_(std::move(name)) {}

Database::~Database() {
  if (connected_) Close();
}

void Database::SetAliasName(std::string alias) {
  if (connected_) throw EngineError("Database " + name_ + " is connected: its alias cannot change");
  alias_ = std::move(alias);
}

void Database::Open() {
  if (connected_) return;
  std::string dir = session_.AliasPath(alias_);
  std::string resolved = ResolvePathCase(session_.env(), dir);
  if (!session_.env().DirectoryExists(resolved))
    throw EngineError("Database " + name_ + ": the directory " + dir + " of alias " + alias_ + " does not exist");
  session_.impl_->databases[names::Upper(name_)] = alias_;
  connected_ = true;
}

void Database::Close() {
  if (!connected_) return;
  session_.impl_->databases.erase(names::Upper(name_));
  connected_ = false;
}

std::string Database::Directory() const { return session_.ResolveDirectory(connected_ ? name_ : alias_); }

}  // namespace tabulor::db
