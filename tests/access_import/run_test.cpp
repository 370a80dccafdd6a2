// The Access import over generated Balantis sources into generated practice
// databases: what lands in every table, the events, a second run.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "access_import/access_import_run.h"
#include "access_import/balantis_source.h"
#include "access_import/import_process.h"
#include "access_import/sequence_file.h"
#include "db/schema/generator/generator.h"
#include "shell/access_formats.h"
#include "shell/formats.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::access_import {
namespace {

namespace fs = std::filesystem;

struct Recorder : AccessImportEvents {
  void ReportLine(const std::string& text) override { lines.push_back(text); }
  void CounterChanged(Counter counter, int64_t value) override { last[counter] = value; }
  int Lines(const std::string& part) const {
    int n = 0;
    for (const auto& l : lines) n += l.find(part) != std::string::npos;
    return n;
  }
  std::vector<std::string> lines;
  std::map<Counter, int64_t> last;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The blob a sample file must give, read independently of the importer: integer "X,Y" lines.
db::Blob ExpectedBlob(const std::string& text, int32_t samples) {
  db::Blob blob;
  std::istringstream in(text);
  std::string line;
  auto put = [&](float v) {
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    for (int s = 0; s < 32; s += 8) blob.push_back(static_cast<uint8_t>(bits >> s));
  };
  while (std::getline(in, line)) {
    const size_t comma = line.find(',');
    put(static_cast<float>(std::stoi(line.substr(0, comma))));
    put(static_cast<float>(std::stoi(line.substr(comma + 1))));
  }
  if (blob.size() < static_cast<size_t>(samples) * 8) blob.resize(static_cast<size_t>(samples) * 8, 0);
  return blob;
}

int64_t Rows(db::Session& session, const std::string& dir, const char* table) {
  db::Table t(session, dir, table);
  t.Open();
  return t.RecordCount();
}

class AccessImportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("access_import_" + std::to_string(::getpid()) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    schema::GeneratorOptions options;
    options.patients = 3;
    schema::GeneratePracticeDatabase(root_.string(), options, session_);
    data_ = schema::DataDirectory(root_.string());
    source_dir_ = (root_ / "source").string();
    shell::ShareFormatsWithAccessLayer();
    shell::SetShortDateFormat("dd/mm/yy");
  }
  void TearDown() override {
    shell::SetShortDateFormat("dd/mm/yyyy");
    fs::remove_all(root_);
  }
  Recorder Run(bool full) {
    BalantisSource source;
    source.Open(source_dir_, kBalantisFileName);
    Recorder events;
    shell::LogFile log = shell::LogFile::InDirectory(root_.string() + "/", shell::kImportLogName);
    AccessImportRun run(session_, data_, source, &log, events, RunOptions{full, 1, 7});
    run.Run();
    for (Counter c : {Counter::kPatients, Counter::kExistingPatients, Counter::kMeasurements, Counter::kExercises,
                      Counter::kNorms, Counter::kTypes})
      EXPECT_EQ(events.last[c], run.Count(c));
    return events;
  }
  void Verify() {
    const std::string command = std::string(TABULOR_BUILD_DIR) + "/tabulor-db verify " + data_ + " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  db::Session session_;
  fs::path root_;
  std::string data_;
  std::string source_dir_;
};

TEST_F(AccessImportRunTest, FullImportStoresEverySourceRecordOnceAndASecondRunFindsThePatients) {
  const mkmdb::BalantisOptions options{40, 5};
  mkmdb::WriteBalantis(source_dir_, options);
  const mkmdb::BalantisSource made = mkmdb::MakeBalantis(options);
  const size_t source_patients = made.tables[0].rows.size();
  const size_t source_sequences = made.tables[1].rows.size();
  const size_t source_exercises = made.tables[2].rows.size();
  const int64_t types_before = Rows(session_, data_, "Type.DB");
  const int64_t norms_before = Rows(session_, data_, "Norme.DB");
  const int64_t patients_before = Rows(session_, data_, "Patient.DB");
  const int64_t exams_before = Rows(session_, data_, "Examen.DB");
  const int64_t jeu_before = Rows(session_, data_, "Jeu.DB");

  int64_t measurements_key_before = 0;
  {
    db::Table mesure(session_, data_, "Mesure.DB");
    mesure.Open();
    for (mesure.First(); !mesure.Eof(); mesure.Next())
      measurements_key_before = std::max(measurements_key_before, mesure.FieldByName("PK_MES").AsInteger());
  }
  Recorder first = Run(true);
  EXPECT_EQ(first.last[Counter::kPatients] + first.last[Counter::kExistingPatients], int64_t(source_patients));
  EXPECT_GT(first.last[Counter::kPatients], int64_t(source_patients) - 3);
  EXPECT_EQ(Rows(session_, data_, "Patient.DB"), patients_before + first.last[Counter::kPatients]);
  EXPECT_EQ(Rows(session_, data_, "Examen.DB"), exams_before + int64_t(source_sequences));
  // Every sequence is a measurement or a reported failure (the fixture leaves some files out).
  const int missing = first.Lines(" : Fichier introuvable !");
  EXPECT_GT(missing, 0);
  EXPECT_EQ(first.last[Counter::kMeasurements] + first.Lines("Erreur à l'importation de la mesure"),
            int64_t(source_sequences));
  EXPECT_EQ(first.last[Counter::kMeasurements], int64_t(made.files.size()));
  EXPECT_EQ(first.last[Counter::kExercises], int64_t(source_exercises));
  EXPECT_EQ(Rows(session_, data_, "Jeu.DB"), jeu_before + int64_t(source_exercises));
  EXPECT_EQ(first.last[Counter::kTypes], Rows(session_, data_, "Type.DB") - types_before);
  EXPECT_EQ(first.last[Counter::kNorms], Rows(session_, data_, "Norme.DB") - norms_before);
  EXPECT_GE(first.last[Counter::kNorms], 1);
  EXPECT_LE(first.last[Counter::kNorms], first.last[Counter::kTypes]);
  EXPECT_GT(first.Lines(" : Prénom à complété"), 0);
  EXPECT_GT(first.Lines(" : Date de naissance complétée"), 0);

  // Every stored blob is the numbers of one sample file, zero-filled to N.
  std::multiset<db::Blob> expected;
  for (const auto& row : made.tables[1].rows) {
    const std::string code = std::get<std::string>(row[0]);
    const std::string name = SequenceFileName(code, std::stod(std::get<std::string>(row[1])));
    for (const auto& file : made.files)
      if (file.name == name) {
        std::string duration = std::get<std::string>(row[4]);
        for (char& c : duration) c = c == ',' ? '.' : c;
        expected.insert(ExpectedBlob(file.text, ExpectedSampleCount(std::stod(duration), 40)));
      }
  }
  std::multiset<db::Blob> stored;
  std::map<int64_t, int64_t> measurement_of_acquisition;
  {
    db::Table mesure(session_, data_, "Mesure.DB");
    mesure.Open();
    for (mesure.First(); !mesure.Eof(); mesure.Next())
      if (mesure.FieldByName("PK_MES").AsInteger() > measurements_key_before)
        ++measurement_of_acquisition[mesure.FieldByName("FK_DAT").AsInteger()];
    db::Table posturo(session_, data_, "Posturo.DB");
    posturo.Open();
    for (posturo.First(); !posturo.Eof(); posturo.Next())
      if (measurement_of_acquisition.count(posturo.FieldByName("ID_Acq").AsInteger())) {
        stored.insert(posturo.FieldByName("Data").AsBlob());
        EXPECT_EQ(posturo.FieldByName("TypeAcq").AsInteger(), 6);
        const std::string situation = posturo.FieldByName("Situation").AsString();
        EXPECT_TRUE(situation == "0000000" || situation == "1000000") << situation;
      }
  }
  EXPECT_EQ(stored.size(), expected.size());
  EXPECT_TRUE(stored == expected) << "a stored blob differs from its sample file";
  for (const auto& [acquisition, count] : measurement_of_acquisition) EXPECT_EQ(count, 1) << acquisition;
  Verify();
  // pxlib reads the written tables it can read (those without a blob file) as the engine does.
  int read_by_pxlib = 0;
  for (const char* table : {"Patient", "Examen", "Mesure", "Posturo", "Jeu", "Norme", "Type"}) {
    if (fs::exists(fs::path(data_) / (std::string(table) + ".MB"))) continue;
    EXPECT_EQ(testing::PxlibDifference(data_, std::string(table) + ".DB"), "") << table;
    ++read_by_pxlib;
  }
  EXPECT_GE(read_by_pxlib, 2) << "Norme.DB and Type.DB have no blob file";

  // The second run finds every patient, adds no type, norm or exercise.
  Recorder second = Run(true);
  EXPECT_EQ(second.last[Counter::kExistingPatients], int64_t(source_patients));
  EXPECT_EQ(second.last[Counter::kPatients], 0);
  EXPECT_EQ(second.last[Counter::kTypes], 0);
  EXPECT_EQ(second.last[Counter::kNorms], 0);
  EXPECT_EQ(second.last[Counter::kExercises], 0);
  EXPECT_EQ(second.Lines(" : Exercice existant"), int(source_exercises));
  const std::string log = ReadAll(root_ / "IMPORT.log");
  EXPECT_NE(log.find("\r\n \r\n"), std::string::npos) << "the second run's lines follow a line of one space";
  Verify();
}

TEST_F(AccessImportRunTest, PatientsOnlyImportReadsNoSequenceOrExercise) {
  mkmdb::WriteBalantis(source_dir_, {15, 2});
  const int64_t exams_before = Rows(session_, data_, "Examen.DB");
  const int64_t posturo_before = Rows(session_, data_, "Posturo.DB");
  Recorder events = Run(false);
  EXPECT_EQ(events.last[Counter::kPatients] + events.last[Counter::kExistingPatients], 15);
  EXPECT_EQ(events.last[Counter::kMeasurements], 0);
  EXPECT_EQ(Rows(session_, data_, "Examen.DB"), exams_before);
  EXPECT_EQ(Rows(session_, data_, "Posturo.DB"), posturo_before);
  Verify();
}

}  // namespace
}  // namespace tabulor::access_import
