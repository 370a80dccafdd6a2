#pragma once
// The form in which the isolated reader process hands its result back.
#include <string>

#include "db/access/table_data.h"

namespace tabulor::db::access {

std::string EncodeContents(const FileContents& contents);
// Throws AccessError on a malformed or incomplete message.
FileContents DecodeContents(const std::string& bytes);

}  // namespace tabulor::db::access
