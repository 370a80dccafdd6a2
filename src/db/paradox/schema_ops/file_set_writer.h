#pragma once
// Whole-file replacements of a table's files made as one change: the new
// contents go through the table's rollback journal, so that a writer killed
// half-way leaves the table as it was (the next open rolls the journal back,
// and files this change created are removed again).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::schema_ops {

class FileSetWriter {
 public:
  FileSetWriter(Env& env, std::string directory, std::string table_file);

  // The whole content of a file, new or existing.
  void Replace(const std::string& name, std::vector<uint8_t> bytes);
  // A few bytes of an existing file.
  void Patch(const std::string& name, uint64_t offset, std::vector<uint8_t> bytes);
  // Existing files to delete once the change has committed.
  void RemoveAfter(const std::string& name) { removed_.push_back(name); }

  // Makes every change durable at once; on failure the files are as before.
  void Commit();

 private:
  Env& env_;
  std::string directory_;
  std::string table_file_;
  std::map<std::string, std::vector<uint8_t>> contents_;
  std::vector<std::pair<std::string, std::pair<uint64_t, std::vector<uint8_t>>>> patches_;
  std::vector<std::string> removed_;
};

// Removes the zero-length index files a change cut short left; true when there were any.
bool RemoveEmptySideFiles(Env& env, const std::string& directory, const std::string& table_file);

}  // namespace tabulor::db::schema_ops
