// The cost of cursors in a secondary order, as the imports use them:
// (a) walking every master row and its detail rows on a secondary index,
//     against the same walk on a detail table keyed by the master's field;
// (b) appending a row and then finding one by a 3-field secondary index,
//     against appending and finding by the primary key.
// Usage: paradox_detail_bench [MASTERS] [SCRATCH_DIR]
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../common/bench_util.h"
#include "db/paradox/engine.h"

namespace fs = std::filesystem;
using namespace tabulor::db;

namespace {

constexpr int kDetailsPerMaster = 3;

DateTime BirthDate(int i) {
  DateTime d;
  d.year = 1950 + i % 50;
  d.month = 1 + i % 12;
  d.day = 1 + i % 28;
  return d;
}

// Patient (keyed by PK_PAT), Examen keyed by PK_EXA with the index FK_PAT, and
// ExamenByKey keyed by (FK_PAT, PK_EXA): the same rows in the two layouts.
void PrepareWalk(const std::string& dir, int masters) {
  Session s;
  TableDef pat;
  pat.fields = {{"PK_PAT", FieldType::kLong, 0}, {"NOM", FieldType::kAlpha, 30}};
  pat.key_field_count = 1;
  CreateTable(s, dir, "Patient", pat);
  TableDef exa;
  exa.fields = {{"PK_EXA", FieldType::kLong, 0}, {"FK_PAT", FieldType::kLong, 0}, {"LIB", FieldType::kAlpha, 20}};
  exa.key_field_count = 1;
  CreateTable(s, dir, "Examen", exa);
  AddIndex(s, dir, "Examen", {"FK_PAT", {"FK_PAT"}});
  TableDef by_key;
  by_key.fields = {{"FK_PAT", FieldType::kLong, 0}, {"PK_EXA", FieldType::kLong, 0}, {"LIB", FieldType::kAlpha, 20}};
  by_key.key_field_count = 2;
  CreateTable(s, dir, "ExamenByKey", by_key);
  Table p(s, dir, "Patient"), e(s, dir, "Examen"), k(s, dir, "ExamenByKey");
  p.Open();
  e.Open();
  k.Open();
  for (int i = 1; i <= masters; ++i) {
    p.Append();
    p.FieldByName("PK_PAT").SetAsInteger(i);
    p.FieldByName("NOM").SetAsString("Patient " + std::to_string(i));
    p.Post();
  }
  // Examinations come in the order they were made: a patient's are far apart.
  std::mt19937 rng(7);
  const int rows = masters * kDetailsPerMaster;
  for (int x = 1; x <= rows; ++x) {
    const int64_t patient = 1 + static_cast<int64_t>(rng() % masters);
    for (Table* t : {&e, &k}) {
      t->Append();
      t->FieldByName("PK_EXA").SetAsInteger(x);
      t->FieldByName("FK_PAT").SetAsInteger(patient);
      t->FieldByName("LIB").SetAsString("Exam " + std::to_string(x));
      t->Post();
    }
  }
}

// Every master and its details; returns the number of detail rows seen.
int64_t Walk(const std::string& dir, const char* detail_table, const char* index) {
  Session s;
  Table p(s, dir, "Patient"), e(s, dir, detail_table);
  p.SetReadOnly(true);
  e.SetReadOnly(true);
  e.SetIndexName(index);
  p.Open();
  e.Open();
  e.SetMasterSource(&p, "PK_PAT");
  int64_t seen = 0;
  for (p.First(); !p.Eof(); p.Next())
    for (e.First(); !e.Eof(); e.Next()) seen += e.FieldByName("PK_EXA").AsInteger() > 0;
  return seen;
}

// A patient table of `rows` rows with the index Patient_Existant (NOM;PRENOM;NAISSANCE).
void PreparePatients(const std::string& dir, int rows) {
  Session s;
  TableDef def;
  def.fields = {{"PK_PAT", FieldType::kAutoInc, 0}, {"NOM", FieldType::kAlpha, 30}, {"PRENOM", FieldType::kAlpha, 30},
                {"NAISSANCE", FieldType::kDate, 0}};
  def.key_field_count = 1;
  IndexDef existing{"Patient_Existant", {"NOM", "PRENOM", "NAISSANCE"}};
  existing.case_insensitive = true;
  CreateTable(s, dir, "Patients", def);
  AddIndex(s, dir, "Patients", existing);
  Table t(s, dir, "Patients");
  t.Open();
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.FieldByName("NOM").SetAsString("Nom" + std::to_string(i * 7919 % rows));
    t.FieldByName("PRENOM").SetAsString("Prenom" + std::to_string(i % 97));
    t.FieldByName("NAISSANCE").SetAsDateTime(BirthDate(i));
    t.Post();
  }
}

// `rounds` times: append a patient, then look up an earlier one by the given
// order (index name, "" for the primary key). Returns how many were found.
int AppendAndFind(const std::string& dir, int rounds, const std::string& index) {
  Session s;
  Table t(s, dir, "Patients");
  t.SetIndexName(index);
  t.Open();
  const int start = static_cast<int>(t.RecordCount());
  std::mt19937 rng(3);
  int found = 0;
  for (int r = 0; r < rounds; ++r) {
    const int i = start + r;
    t.Append();
    t.FieldByName("NOM").SetAsString("Nouveau" + std::to_string(i));
    t.FieldByName("PRENOM").SetAsString("Prenom" + std::to_string(i % 97));
    t.FieldByName("NAISSANCE").SetAsDateTime(BirthDate(i));
    t.Post();
    const int j = static_cast<int>(rng() % static_cast<unsigned>(start));
    if (index.empty()) {
      found += t.FindKey({static_cast<int64_t>(j + 1)});
    } else {
      const DateTime born = BirthDate(j);
      found += t.FindKey({"nom" + std::to_string(j * 7919 % start), "PRENOM" + std::to_string(j % 97), born});
    }
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const int masters = argc > 1 ? std::stoi(argv[1]) : 20000;
  const std::string scratch = argc > 2 ? argv[2] : (fs::temp_directory_path() / "paradox_detail_bench").string();
  fs::remove_all(scratch);
  const std::string walk_dir = scratch + "/walk";
  fs::create_directories(walk_dir);
  PrepareWalk(walk_dir, masters);
  int64_t by_index_rows = 0, by_key_rows = 0;
  const double by_index = tabulor::bench::Seconds([&] { by_index_rows = Walk(walk_dir, "Examen", "FK_PAT"); });
  const double by_key = tabulor::bench::Seconds([&] { by_key_rows = Walk(walk_dir, "ExamenByKey", ""); });
  std::printf("(a) %d masters, %d detail rows each on average\n", masters, kDetailsPerMaster);
  std::printf("    detail on the secondary index FK_PAT: %.3f s (%lld rows)\n", by_index,
              static_cast<long long>(by_index_rows));
  std::printf("    detail on its primary key:           %.3f s (%lld rows)\n", by_key,
              static_cast<long long>(by_key_rows));
  std::printf("    ratio secondary / primary: %.2f\n", by_index / by_key);

  const std::string a = scratch + "/secondary", b = scratch + "/primary";
  fs::create_directories(a);
  fs::create_directories(b);
  PreparePatients(a, masters);
  PreparePatients(b, masters);
  int found_secondary = 0, found_primary = 0;
  const double secondary = tabulor::bench::Seconds([&] { found_secondary = AppendAndFind(a, masters, "Patient_Existant"); });
  const double primary = tabulor::bench::Seconds([&] { found_primary = AppendAndFind(b, masters, ""); });
  std::printf("(b) %d times append + FindKey on a table of %d rows\n", masters, masters);
  std::printf("    FindKey on Patient_Existant (3 fields): %.3f s (%d found)\n", secondary, found_secondary);
  std::printf("    FindKey on the primary key:             %.3f s (%d found)\n", primary, found_primary);
  std::printf("    ratio secondary / primary: %.2f\n", secondary / primary);
  fs::remove_all(scratch);
}
