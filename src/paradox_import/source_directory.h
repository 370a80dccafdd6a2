#pragma once
// What the import asks of a directory before it opens it as a source: whether
// it holds a practice database other than the program's own, which optional
// tables it has, and where its letters and videos live.
#include <filesystem>
#include <string>

namespace tabulor::paradox_import {

// The table files that make a directory a practice database (eight of them suffice,
// as the old ones have User.db where the newer ones have Users.db).
inline constexpr const char* kSourceTableMask[] = {
    "Patient.db", "Examen.db", "Mesure.db", "Data.db", "Path.db",
    "Pres.db",    "Prof.db",   "User.db",   "Users.db"};

// How many files of the directory match the mask, whatever their letter case.
int CountSourceTableFiles(const std::filesystem::path& dir);

// True when the directory holds at least eight of the mask's files and is not the
// program's own DATA directory in any letter case.
bool IsAcceptableSource(const std::filesystem::path& dir, const std::string& program_dir);

// The optional tables a source may lack (older versions).
struct SourcePresence {
  bool has_docs = false;
  bool has_bilan = false;
  bool has_posturo = false;
  bool has_type = false;
  bool has_jeu = false;
  bool has_norme = false;
  bool user_db = false;  // User.db (old sources) rather than Users.db
};
SourcePresence FindSourceTables(const std::filesystem::path& dir);

// The installation the source directory belongs to: its parent, with a trailing
// separator. Letters are under SourceRoot + "Documents", videos under + "movies".
std::string SourceRoot(const std::filesystem::path& dir);

}  // namespace tabulor::paradox_import
