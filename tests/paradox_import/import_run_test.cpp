// The database import over generated pairs of practice databases (the source
// at the current version and at older ones, sharing patients with the
// destination): every source row lands once with every link renumbered to the
// destination row of the same natural key, or is reported; blobs, letters and
// videos arrive byte for byte; the destination verifies and pxlib reads it;
// a second run adds no patient and every examination again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "db/paradox/engine.h"
#include "db/paradox/pxlib_reader.h"
#include "db/paradox/upper_case.h"
#include "db/schema/generator/generator.h"
#include "paradox_import/import_run.h"
#include "paradox_import/practice_snapshot.h"
#include "shell/formats.h"
#include "shell/ini_file.h"

namespace tabulor::paradox_import {
namespace {

namespace fs = std::filesystem;
using snapshot::Database;
using snapshot::Row;
using snapshot::Rows;
using snapshot::Upper;
using snapshot::Read;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Recorder : ImportEvents {
  void ReportLine(const std::string& text) override { lines.push_back(text); }
  void CounterChanged(Counter counter, int64_t value) override { shown[counter] = value; }
  // The keys of the error events under `heading` ("heading : key\r...").
  std::multiset<std::string> Keys(const std::string& heading) const {
    std::multiset<std::string> keys;
    for (const std::string& line : lines)
      if (line.rfind(heading + " : ", 0) == 0)
        keys.insert(line.substr(heading.size() + 3, line.find('\r') - heading.size() - 3));
    return keys;
  }
  int Ending(const std::string& tail) const {
    int n = 0;
    for (const std::string& line : lines) n += line.size() >= tail.size() && line.ends_with(tail);
    return n;
  }
  // The value a counter's label shows: blank (0) until it first changes.
  int64_t Shown(Counter counter) const {
    auto it = shown.find(counter);
    return it == shown.end() ? 0 : it->second;
  }
  std::vector<std::string> lines;
  std::map<Counter, int64_t> shown;
};

// The largest key of `table` before the run: rows above it are the run's.
int64_t MaxKey(const Database& db, const std::string& table, const std::string& key) {
  int64_t max = 0;
  for (const Row& row : db[table]) max = std::max<int64_t>(max, std::stoll(row.at(key)));
  return max;
}

Rows Added(const Database& before, const Database& after, const std::string& table, const std::string& key) {
  const int64_t max = MaxKey(before, table, key);
  Rows rows;
  for (const Row& row : after[table])
    if (std::stoll(row.at(key)) > max) rows.push_back(row);
  return rows;
}

std::string PatientIdentity(const Row& patient) {
  const std::string birth = patient.at("BIRTHDT").empty() ? "1899-12-30 0:0:0" : patient.at("BIRTHDT");
  return patient.at("NOM") + "|" + patient.at("PRENOM") + "|" + birth;
}

struct Pair {
  int source_version;
  const char* name;
};

class ParadoxImportRunTest : public ::testing::TestWithParam<Pair> {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("paradox_import_" + std::to_string(::getpid()) + "_" + GetParam().name);
    fs::remove_all(root_);
    schema::GeneratorOptions destination;
    destination.patients = 40;
    destination.seed = 1;
    schema::GeneratePracticeDatabase((root_ / "practice").string(), destination);
    schema::GeneratorOptions source;
    source.version = GetParam().source_version;
    source.patients = 30;
    source.seed = 7;
    source.share_seed = 1;
    source.share_patients = 40;
    source.share = 0.3;
    schema::GeneratePracticeDatabase((root_ / "other").string(), source);
    program_dir_ = (root_ / "practice").string() + "/";
    std::ofstream(program_dir_ + "Ortalis.INI") << "[Video]\r\nLastIndex=5\r\n";
    shell::SetShortDateFormat("dd/mm/yy");
  }
  void TearDown() override { fs::remove_all(root_); }

  Recorder RunImport() {
    Recorder events;
    ParadoxSource source(session_);
    source.Open(SourceDir());
    if (!session_.AliasExists("PRACTICE")) session_.AddAlias("PRACTICE", program_dir_ + "DATA");
    Destination destination{&session_, "PRACTICE", program_dir_, ReadImportFolders(program_dir_)};
    ImportRun run(destination, source, nullptr, events, RunOptions{true, true},
                  [] { return db::DateTime{2025, 6, 30}; });
    run.Run();
    for (int c = 0; c < kCounterCount; ++c)
      EXPECT_EQ(events.Shown(static_cast<Counter>(c)), run.Count(static_cast<Counter>(c))) << "counter " << c;
    return events;
  }
  std::string SourceDir() const { return (root_ / "other" / "DATA").string(); }
  std::string PracticeDir() const { return program_dir_ + "DATA"; }

  fs::path root_;
  std::string program_dir_;
  db::Session session_;
};

// A protocol the destination lacks, naming the second of two norms it lacks too:
// the norm's key differs on both sides.
bool AddProtocolWithNewNorm(db::Session& session, const std::string& dir) {
  if (!db::TableExists(session, dir, "Type.DB") || !db::TableExists(session, dir, "Norme.DB")) return false;
  db::Table norms(session, dir, "Norme.DB");
  norms.Open();
  int64_t key = 0;
  for (const char* name : {"NORME SEULE", "NORME DU PROTOCOLE"}) {
    norms.Append();
    norms.FieldByName("NOM").SetAsString(name);
    norms.FieldByName("SURF_Min").SetAsFloat(1.5);
    norms.Post();
    key = norms.FieldByName("PK_NORME").AsInteger();
  }
  db::Table protocols(session, dir, "Type.DB");
  protocols.Open();
  if (!protocols.FindField("FK_NORM_1")) return false;
  protocols.Append();
  protocols.FieldByName("CODE").SetAsString("PROTOCOLE IMPORTÉ");
  protocols.FieldByName("NB_MESURES").SetAsInteger(1);
  protocols.FieldByName("FK_NORM_1").SetAsInteger(key);
  protocols.Post();
  return true;
}

TEST_P(ParadoxImportRunTest, EverySourceRowLandsOnceWithItsLinksOrIsReported) {
  const bool new_protocol = AddProtocolWithNewNorm(session_, SourceDir());
  const Database source = Read(session_, SourceDir());
  const Database before = Read(session_, PracticeDir());
  const Recorder events = RunImport();
  const Database after = Read(session_, PracticeDir());

  // Patients: each found by name, first name and birth date, or added once.
  std::map<std::string, int> identities;
  for (const Row& row : after["Patient"]) ++identities[PatientIdentity(row)];
  std::map<std::string, std::string> patient_of;  // source PK_PAT -> destination PK_PAT
  for (const Row& patient : source["Patient"]) {
    ASSERT_EQ(identities[PatientIdentity(patient)], 1) << PatientIdentity(patient);
    for (const Row& row : after["Patient"])
      if (PatientIdentity(row) == PatientIdentity(patient)) patient_of[patient.at("PK_PAT")] = row.at("PK_PAT");
  }
  const Rows added_patients = Added(before, after, "Patient", "PK_PAT");
  EXPECT_EQ(events.Shown(Counter::kPatientsAdded), static_cast<int64_t>(added_patients.size()));
  EXPECT_EQ(events.Ending(" : Patient existant"), static_cast<int>(source["Patient"].size() - added_patients.size()));
  EXPECT_GT(events.Shown(Counter::kPatientsExisting), 0);  // the shared patients
  auto user_name = [](const Database& db, const std::string& key) {
    const Row* user = db.Find("Users", "PK_USE", key);
    return user ? db::UpperCase(user->at("NOM"), db::TableDef{}) : std::string();
  };
  for (const Row& patient : source["Patient"]) {
    const Row* stored = after.Find("Patient", "PK_PAT", patient_of.at(patient.at("PK_PAT")));
    if (std::stoll(stored->at("PK_PAT")) <= MaxKey(before, "Patient", "PK_PAT")) continue;
    for (const char* field : {"ADRESSE", "CP", "VILLE", "TELOFF", "TELPRV", "NOTE", "POIDS", "TAILLE", "SEXE"})
      EXPECT_EQ(stored->at(field), patient.at(field)) << field;
    EXPECT_EQ(stored->at("FLAG"), "A");
    const std::string source_user = user_name(source, patient.at("FK_USE"));
    if (!source_user.empty()) {
      EXPECT_EQ(user_name(after, stored->at("FK_USE")), source_user);
    }
    if (const Row* profession = source.Find("Prof", "PK_PRO", patient.at("FK_PRO"))) {
      EXPECT_EQ(after.ValueOf("Prof", "PK_PRO", stored->at("FK_PRO"), "NOM"), profession->at("NOM"));
    }
  }

  // Examinations: every one added to the destination patient, with its pathology,
  // prescriber, user and first assessment.
  const Rows added_exams = Added(before, after, "Examen", "PK_EXA");
  ASSERT_EQ(added_exams.size(), source["Examen"].size());
  EXPECT_EQ(events.Shown(Counter::kExamsAdded), static_cast<int64_t>(added_exams.size()));
  std::multimap<std::string, const Row*> exams_by_content;
  auto exam_content = [](const Row& exam, const std::string& patient) {
    return patient + "|" + exam.at("INTITULE") + "|" + exam.at("NOTE") + "|" + exam.at("FICHIERDATADOS") + "|" +
           exam.at("PRESCDT") + "|" + exam.at("VP");
  };
  for (const Row& exam : added_exams) exams_by_content.emplace(exam_content(exam, exam.at("FK_PAT")), &exam);
  std::map<std::string, const Row*> exam_of;  // source PK_EXA -> destination row
  for (const Row& exam : source["Examen"]) {
    auto found = exams_by_content.find(exam_content(exam, patient_of.at(exam.at("FK_PAT"))));
    ASSERT_NE(found, exams_by_content.end()) << "examination " << exam.at("PK_EXA");
    const Row& stored = *found->second;
    exams_by_content.erase(found);
    exam_of[exam.at("PK_EXA")] = &stored;
    EXPECT_EQ(stored.at("DATE_EXA"), exam.count("DATE_EXA") ? exam.at("DATE_EXA") : exam.at("DATE"));
    if (const Row* pathology = source.Find("Path", "PK_PTH", exam.at("FK_PTH")); pathology && !pathology->at("NOM").empty()) {
      EXPECT_EQ(after.ValueOf("Path", "PK_PTH", stored.at("FK_PTH"), "NOM"), pathology->at("NOM"));
    }
    if (const Row* prescriber = source.Find("Pres", "PK_PRE", exam.at("FK_PRE")); prescriber && !prescriber->at("NOM").empty()) {
      EXPECT_EQ(after.ValueOf("Pres", "PK_PRE", stored.at("FK_PRE"), "NOM"), prescriber->at("NOM"));
    }
    // Its user is the user of its own source patient, a patient found as existing included.
    const std::string source_user = user_name(source, source.Find("Patient", "PK_PAT", exam.at("FK_PAT"))->at("FK_USE"));
    if (!source_user.empty()) {
      EXPECT_EQ(user_name(after, stored.at("FK_USE")), source_user);
    }
    for (const Row& assessment : source["Bilan"]) {
      if (assessment.at("FK_EXA") != exam.at("PK_EXA")) continue;
      const Row* copy = after.Find("Bilan", "FK_EXA", stored.at("PK_EXA"));
      ASSERT_NE(copy, nullptr) << "assessment of examination " << exam.at("PK_EXA");
      for (const auto& [field, value] : assessment)
        if (field != "PK_BIL" && field != "FK_EXA") {
          EXPECT_EQ(copy->at(field), value) << field;
        }
      break;  // the first one only
    }
  }

  // Measurements: stored with their posturography and raw rows, or reported.
  const std::multiset<std::string> failed = events.Keys("Erreur à l'importation de la mesure");
  std::multimap<std::string, const Row*> measures_by_content;
  auto measure_content = [](const Row& m, const std::string& exam) {
    return exam + "|" + m.at("HEURE") + "|" + m.at("TYPE") + "|" + m.at("NOTE") + "|" + m.at("NBIMAGE") + "|" +
           m.at("DUREE") + "|" + m.at("FREQUENCE");
  };
  const Rows added_measures = Added(before, after, "Mesure", "PK_MES");
  for (const Row& m : added_measures) measures_by_content.emplace(measure_content(m, m.at("FK_EXA")), &m);
  int videos = 0;
  for (const Row& measure : source["Mesure"]) {
    const std::string kind = measure.at("TYPE");
    auto found = measures_by_content.find(measure_content(measure, exam_of.at(measure.at("FK_EXA"))->at("PK_EXA")));
    if (found == measures_by_content.end()) {
      EXPECT_EQ(failed.count(measure.at("PK_MES")), 1u) << "measurement " << measure.at("PK_MES") << " lost";
      continue;
    }
    const Row& stored = *found->second;
    measures_by_content.erase(found);
    const Row* source_posturo = nullptr;
    const Row* stored_posturo = nullptr;
    if (kind != "W") {
      const Row* from = source.Find("Data", "ID_ACQ", measure.at("FK_DAT"));
      const Row* to = after.Find("Data", "ID_ACQ", stored.at("FK_DAT"));
      ASSERT_TRUE(from && to) << "data row of measurement " << measure.at("PK_MES");
      EXPECT_EQ(to->at("DATA"), from->at("DATA"));
      EXPECT_EQ(to->at("ZIPPED"), from->count("ZIPPED") ? from->at("ZIPPED") : "0");
      // Integers are copied as numbers: a null one arrives as 0.
      for (const char* field : {"NBIMAGES", "DIMIMAGE", "FREQUENCE", "I1", "I8"})
        EXPECT_EQ(to->at(field), from->at(field).empty() ? "0" : from->at(field)) << field;
      if (kind == "C") {
        source_posturo = source.Find("Posturo", "ID_ACQ", from->at("VP"));
        stored_posturo = after.Find("Posturo", "ID_ACQ", to->at("VP"));
      } else {
        EXPECT_EQ(to->at("VP"), from->at("VP").empty() ? "0" : from->at("VP"));
      }
    } else {
      source_posturo = source.Find("Posturo", "ID_ACQ", measure.at("FK_DAT"));
      stored_posturo = after.Find("Posturo", "ID_ACQ", stored.at("FK_DAT"));
    }
    if (kind == "W" || kind == "C") {
      ASSERT_TRUE(source_posturo && stored_posturo) << "posturography row of measurement " << measure.at("PK_MES");
      EXPECT_EQ(stored_posturo->at("DATA"), source_posturo->at("DATA"));
      EXPECT_EQ(stored_posturo->at("CODETYPE"), source_posturo->at("CODETYPE"));
      const Row* norm =
          source_posturo->count("FK_NORM") ? source.Find("Norme", "PK_NORME", source_posturo->at("FK_NORM")) : nullptr;
      if (kind == "W" && norm && !norm->at("NOM").empty()) {
        EXPECT_EQ(after.ValueOf("Norme", "PK_NORME", stored_posturo->at("FK_NORM"), "NOM"), norm->at("NOM"));
      }
    }
    for (const char* side : {"VIDEO_LEFT", "VIDEO_RIGHT"}) {
      if (!measure.count(side) || measure.at(side).empty() || stored.at(side).empty()) continue;
      ++videos;
      EXPECT_EQ(ReadFile(program_dir_ + "Movies/" + stored.at(side)),
                ReadFile(root_ / "other" / "movies" / measure.at(side)));
    }
  }
  EXPECT_TRUE(measures_by_content.empty()) << "measurements that no source row explains";
  EXPECT_EQ(events.Shown(Counter::kMeasuresAdded), static_cast<int64_t>(added_measures.size()));
  if (!source["Mesure"].empty() && source["Mesure"].front().count("VIDEO_LEFT")) {
    EXPECT_GT(videos, 0);
  }
  // Each copy took the next number of the settings file, which the run wrote back.
  EXPECT_EQ(shell::IniFile(program_dir_ + "Ortalis.INI").ReadInteger("Video", "LastIndex", 0), 5 + videos);

  // Exercises: one row per patient, day and time, added or found.
  for (const Row& exercise : source["Jeu"]) {
    int rows = 0;
    for (const Row& row : after["Jeu"])
      rows += row.at("FK_PAT") == patient_of.at(exercise.at("FK_PAT")) && Upper(row.at("DATE_JEU")) == Upper(exercise.at("DATE_JEU")) &&
              Upper(row.at("TIME")) == Upper(exercise.at("TIME"));
    EXPECT_EQ(rows, 1) << "exercise " << exercise.at("PK_JEU");
  }
  EXPECT_EQ(events.Shown(Counter::kExercisesAdded),
            static_cast<int64_t>(Added(before, after, "Jeu", "PK_JEU").size()));

  // Letters: copied with their row, or reported when their file is missing or already there.
  const Rows added_documents = Added(before, after, "Docs", "PK_COURRIER");
  for (const Row& document : source["Docs"]) {
    const Row* stored = nullptr;
    for (const Row& row : added_documents)
      if (row.at("NOM") == document.at("NOM") && row.at("FK_PAT") == patient_of.at(document.at("FK_PAT"))) stored = &row;
    if (!stored) {
      EXPECT_GE(events.Ending(document.at("NOM") + " : Fichier introuvable !"), 1) << document.at("NOM");
      continue;
    }
    EXPECT_EQ(ReadFile(stored->at("CHEMIN")), ReadFile(root_ / "other" / "Documents" / "Mails" / document.at("NOM")));
  }

  // Protocols: new ones point at the destination row of their source norm.
  for (const Row& protocol : source["Type"]) {
    const Row* stored = nullptr;
    for (const Row& row : after["Type"])
      if (Upper(row.at("CODE")) == Upper(protocol.at("CODE"))) stored = &row;
    ASSERT_NE(stored, nullptr) << protocol.at("CODE");
    if (std::stoll(stored->at("PK_TYPE")) <= MaxKey(before, "Type", "PK_TYPE") || !protocol.count("FK_NORM_1")) continue;
    for (const char* field : {"FK_NORM_1", "FK_NORM_2", "FK_NORM_3", "FK_NORM_4"})
      if (const Row* norm = source.Find("Norme", "PK_NORME", protocol.at(field))) {
        EXPECT_EQ(after.ValueOf("Norme", "PK_NORME", stored->at(field), "NOM"), norm->at("NOM")) << field;
      }
  }
  EXPECT_EQ(Added(before, after, "Type", "PK_TYPE").size(), new_protocol ? 1u : 0u);
  // The practice record is the source's.
  ASSERT_FALSE(after["Clefs"].empty());
  EXPECT_EQ(after["Clefs"].front().at("NOM"), source["Clefs"].front().at("NOM"));

  // Every table verifies; pxlib reads those it can (without a blob file).
  for (const fs::directory_entry& file : fs::directory_iterator(PracticeDir())) {
    if (Upper(file.path().extension().string()) != ".DB") continue;
    EXPECT_TRUE(db::VerifyTable(session_, PracticeDir(), file.path().filename().string()).empty()) << file.path();
    fs::path blobs = file.path();
    blobs.replace_extension(".MB");
    if (!fs::exists(blobs)) {
      EXPECT_NO_THROW(db::testing::PxlibDump(file.path().string())) << file.path();
    }
  }

  // A second run finds every patient and adds every examination again.
  const Recorder again = RunImport();
  EXPECT_EQ(again.Shown(Counter::kPatientsAdded), 0);
  EXPECT_EQ(again.Shown(Counter::kPatientsExisting), static_cast<int64_t>(source["Patient"].size()));
  EXPECT_EQ(again.Shown(Counter::kExamsAdded), static_cast<int64_t>(source["Examen"].size()));
  EXPECT_EQ(again.Shown(Counter::kExercisesAdded), 0);
  EXPECT_EQ(again.Ending(" : Exercice existant"), static_cast<int>(source["Jeu"].size()));
}

INSTANTIATE_TEST_SUITE_P(Versions, ParadoxImportRunTest,
                         ::testing::Values(Pair{280, "Current"}, Pair{210, "Version21"}, Pair{100, "Version1"},
                                           Pair{0, "Version0"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabulor::paradox_import
