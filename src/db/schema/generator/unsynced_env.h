#pragma once
// The file system without the syncs that make writes durable: a generated
// database is made again rather than recovered, and skipping the syncs spares
// most of the time of generating a small one.
#include <memory>

#include "db/paradox/env.h"

namespace tabulor::schema {

std::shared_ptr<db::Env> UnsyncedEnv();

}  // namespace tabulor::schema
