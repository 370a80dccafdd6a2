#include "db/paradox/error.h"

namespace tabulor::db {

EngineError::EngineError(const std::string& message, std::string table, std::string field)
    : std::runtime_error(message), table_(std::move(table)), field_(std::move(field)) {}

}  // namespace tabulor::db
