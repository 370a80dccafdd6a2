#pragma once
// Sample source databases for the Access imports: a Balantis database with its
// sequence files, and a Pedora patient file. Contents are realistic and
// reproducible from a seed.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::mkmdb {

struct BalantisOptions {
  int patients = 12;
  uint32_t seed = 1;
  std::string password;  // the database's, none when empty
  int sequences_per_patient = -1;  // below 0: from 0 to 3 at random
};

struct SequenceFile {
  std::string name;  // "<code><num>.pos", spaces made zeros
  std::string text;  // "X,Y" lines
};

struct BalantisSource {
  std::vector<Jet4Table> tables;  // Patients, Sequences, Exercices, Types
  std::vector<SequenceFile> files;
};

BalantisSource MakeBalantis(const BalantisOptions& options);
// Writes DIR/Balantis2000.mdb and DIR/data/*.pos; creates the directories.
void WriteBalantis(const std::string& directory, const BalantisOptions& options);

// The Patients table of a Pedora patient file.
Jet4Table MakePedoraPatients(int patients, uint32_t seed);
void WritePedora(const std::string& file, int patients, uint32_t seed, const std::string& password = "");

// "%s%3.0f.pos" of a code and a sequence number, every space made '0'.
std::string SequenceFileName(const std::string& code, double number);

}  // namespace tabulor::mkmdb
