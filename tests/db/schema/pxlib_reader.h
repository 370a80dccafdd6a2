#pragma once
// Reads a Paradox table with pxlib, an independent reader, to show that the
// generated files are readable by other programs.
#include <optional>
#include <string>
#include <vector>

namespace tabulor::schema::testing {

struct PxlibTable {
  std::vector<std::string> field_names;
  int records = 0;           // as the header says
  int readable_records = 0;  // records pxlib could read
  // The first alpha field of every readable record, in the file's code page.
  std::vector<std::string> first_alpha_values;
};

// Nothing when pxlib cannot open the file.
std::optional<PxlibTable> ReadWithPxlib(const std::string& path);

}  // namespace tabulor::schema::testing
