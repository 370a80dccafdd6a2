#include "db/paradox/schema_ops/file_set_writer.h"

#include <memory>

#include "db/paradox/index/family_indexes.h"
#include "db/paradox/names.h"
#include "db/paradox/storage/journal.h"
#include "db/paradox/storage/paged_file.h"
#include "db/paradox/table_family.h"

namespace tabulor::db::schema_ops {

FileSetWriter::FileSetWriter(Env& env, std::string directory, std::string table_file)
    : env_(env), directory_(std::move(directory)), table_file_(std::move(table_file)) {}

void FileSetWriter::Replace(const std::string& name, std::vector<uint8_t> bytes) { contents_[name] = std::move(bytes); }

void FileSetWriter::Patch(const std::string& name, uint64_t offset, std::vector<uint8_t> bytes) {
  patches_.push_back({name, {offset, std::move(bytes)}});
}

void FileSetWriter::Commit() {
  const std::string journal_name = storage::Journal::NameFor(table_file_);
  try {
    // New files exist, empty, before the journal names them: a rollback cuts them back to nothing.
    bool created = false;
    for (const auto& [name, bytes] : contents_) {
      const std::string path = directory_ + "/" + name;
      if (env_.FileExists(path)) continue;
      env_.Open(path, OpenMode::kCreate)->Sync();
      created = true;
    }
    if (created) env_.SyncDirectory(directory_);
    storage::Journal journal(env_, directory_, journal_name);
    std::map<std::string, std::unique_ptr<storage::PagedFile>> files;
    auto file = [&](const std::string& name) -> storage::PagedFile& {
      auto& f = files[name];
      if (!f) {
        const std::string path = directory_ + "/" + name;
        f = std::make_unique<storage::PagedFile>(env_.Open(path, OpenMode::kReadWrite), path);
        journal.AddFile(f.get(), name);
      }
      return *f;
    };
    for (const auto& [name, bytes] : contents_) file(name);
    for (const auto& patch : patches_) file(patch.first);
    journal.Begin();
    for (const auto& [name, bytes] : contents_) index::ReplaceContent(file(name), bytes);
    for (const auto& [name, patch] : patches_) file(name).Write(patch.first, patch.second.data(), patch.second.size());
    journal.Commit();
  } catch (...) {
    try {
      storage::Journal::Recover(env_, directory_, journal_name);
      RemoveEmptySideFiles(env_, directory_, table_file_);
    } catch (...) {
      // The journal stays; the next open of the table rolls it back.
    }
    throw;
  }
  for (const std::string& name : removed_) {
    const std::string path = directory_ + "/" + name;
    if (env_.FileExists(path)) env_.Remove(path);
  }
  if (!removed_.empty()) env_.SyncDirectory(directory_);
}

bool RemoveEmptySideFiles(Env& env, const std::string& directory, const std::string& table_file) {
  FamilyFiles files = FamilyFiles::Find(env, directory, table_file);
  std::vector<std::string> candidates = files.secondary;
  if (!files.px.empty()) candidates.push_back(files.px);
  bool removed = false;
  for (const std::string& name : candidates) {
    const std::string path = directory + "/" + name;
    try {
      if (env.Open(path, OpenMode::kRead)->Size() != 0) continue;
      env.Remove(path);
      removed = true;
    } catch (const std::exception&) {
      // A file that cannot be removed (read-only medium) stays; readers report it.
    }
  }
  if (removed) env.SyncDirectory(directory);
  return removed;
}

}  // namespace tabulor::db::schema_ops
