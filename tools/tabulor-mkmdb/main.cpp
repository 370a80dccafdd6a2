// tabulor-mkmdb: writes sample Access sources for the imports.
//   --balantis DIR [--patients N] [--seed S] [--password TEXT] [--sequences K]
//                          DIR/Balantis2000.mdb and DIR/data/*.pos, K sequences a patient (default 0 to 3)
//   --pedora FILE [--patients N] [--seed S] [--password TEXT]    a Pedora patient file
// With --password, the database is protected by that password.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "tools/tabulor-mkmdb/fixtures.h"

namespace {

int Usage() {
  std::cerr << "usage: tabulor-mkmdb --balantis DIR [--patients N] [--seed S] [--password TEXT] [--sequences K]\n"
               "       tabulor-mkmdb --pedora FILE [--patients N] [--seed S] [--password TEXT]\n";
  return 2;
}

bool ParseNumber(const std::string& text, long& value) {
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && value >= 0 && value <= 1000000;
}

}  // namespace

int main(int argc, char** argv) {
  std::string balantis, pedora, password;
  long patients = -1, seed = 1, sequences = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--balantis") balantis = value;
    else if (arg == "--pedora") pedora = value;
    else if (arg == "--password" && !value.empty()) password = value;
    else if (arg == "--patients" && ParseNumber(value, patients)) continue;
    else if (arg == "--seed" && ParseNumber(value, seed)) continue;
    else if (arg == "--sequences" && ParseNumber(value, sequences) && sequences <= 999) continue;
    else return Usage();
  }
  if (balantis.empty() == pedora.empty()) return Usage();
  try {
    if (!balantis.empty()) {
      tabulor::mkmdb::BalantisOptions options;
      if (patients >= 0) options.patients = static_cast<int>(patients);
      options.seed = static_cast<uint32_t>(seed);
      options.sequences_per_patient = static_cast<int>(sequences);
      options.password = password;
      tabulor::mkmdb::WriteBalantis(balantis, options);
    } else {
      tabulor::mkmdb::WritePedora(pedora, patients >= 0 ? static_cast<int>(patients) : 15, static_cast<uint32_t>(seed),
                                  password);
    }
  } catch (const std::exception& e) {
    std::cerr << "tabulor-mkmdb: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
