#pragma once
#include <stdexcept>
#include <string>

namespace tabulor::db {

// Every failure of the engine: the message names the table, and the field where
// there is one, and is fit to be shown to a user.
class EngineError : public std::runtime_error {
 public:
  EngineError(const std::string& message, std::string table = {}, std::string field = {});
  const std::string& table() const { return table_; }
  const std::string& field() const { return field_; }

 private:
  std::string table_;
  std::string field_;
};

}  // namespace tabulor::db
