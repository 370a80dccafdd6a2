#pragma once
// The real sample files (Paradox tables and Access databases written by other
// programs) are not part of the project. They are looked for in the folder the
// build was configured with, TABULOR_SHARED_DIR (by default the shared folder
// beside the project); the tests that read them are skipped when it has none.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tabulor::samples {

// <shared folder>/samples/<kind>, kind "paradox" or "access".
inline std::string Folder(const std::string& kind) { return std::string(TABULOR_SHARED_DIR) + "/samples/" + kind; }

inline bool Present(const std::string& kind) { return std::filesystem::is_directory(Folder(kind)); }

inline std::string WhereTheyComeFrom(const std::string& kind) {
  return "no sample files in " + Folder(kind) +
         ": they come from the shared folder beside the project (cmake -DTABULOR_SHARED_DIR=DIR names another)";
}

}  // namespace tabulor::samples

// Skips the running test when the real sample files of `kind` are absent.
#define TABULOR_REQUIRE_SAMPLES(kind) \
  if (!::tabulor::samples::Present(kind)) GTEST_SKIP() << ::tabulor::samples::WhereTheyComeFrom(kind)
