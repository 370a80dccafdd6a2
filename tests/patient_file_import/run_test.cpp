// Runs of the patient-file import over generated Pedora files into a generated
// practice database: every source patient is stored once with its mapped
// values or counted as present, and a source that cannot be read changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <bit>
#include <cmath>
#include <random>
#include <tuple>

#include "db/paradox/engine.h"
#include "db/schema/generator/generator.h"
#include "patient_file_import/patient_file_run.h"
#include "patient_file_import/patient_values.h"
#include "shell/formats.h"
#include "tools/tabulor-mkmdb/fixtures.h"

extern "C" {
#include <paradox.h>
}

namespace tabulor::patient_file_import {
namespace {

namespace fs = std::filesystem;
using db::DateTime;
using mkmdb::Jet4Value;

const DateTime kToday{2026, 12, 8, 10, 30, 0};

struct Recorder : PatientFileObserver {
  void Started(int64_t patients) override { total = patients; }
  void Progressed(int64_t done) override { progressed = done; }
  void CountsChanged(const PatientFileCounts& c) override { counts = c; }
  void Reported(const std::string& line) override { lines.push_back(line); }
  int64_t total = -1, progressed = -1;
  PatientFileCounts counts;
  std::vector<std::string> lines;
};

struct StoredPatient {
  std::string prenom, sexe, teloff, note, pointure, poids, taille, flag;
  int64_t fk_use = 0, classe = -1;
  DateTime date_pat;
};
using Identity = std::tuple<std::string, std::string, DateTime>;

class PatientFileRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell::SetShortDateFormat("dd/mm/yy");
    root_ = fs::temp_directory_path() / ("pedora-run-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    schema::GeneratorOptions options;
    options.patients = 30;
    options.seed = 3;
    schema::GeneratePracticeDatabase(root_.string(), options);
    session_.AddAlias("PEDORA_TEST", schema::DataDirectory(root_.string()));
    DB_.SetAliasName("PEDORA_TEST");
    DB_.Open();
    context_.session = &session_;
    context_.program_dir = root_.string() + "/";
  }
  void TearDown() override {
    DB_.Close();
    fs::remove_all(root_);
  }

  std::multimap<Identity, StoredPatient> Patients() {
    db::Table t(session_, "DB", "Patient.DB");
    t.Open();
    std::multimap<Identity, StoredPatient> rows;
    for (t.First(); !t.Eof(); t.Next()) {
      StoredPatient p{t.FieldByName("PRENOM").AsString(),   t.FieldByName("SEXE").AsString(),
                      t.FieldByName("TELOFF").AsString(),   t.FieldByName("NOTE").AsString(),
                      t.FieldByName("POINTURE").AsString(), t.FieldByName("POIDS").AsString(),
                      t.FieldByName("TAILLE").AsString(),   t.FieldByName("FLAG").AsString(),
                      t.FieldByName("FK_USE").AsInteger(),  t.FieldByName("CLASSE").AsInteger(),
                      t.FieldByName("DATE_PAT").AsDateTime()};
      rows.emplace(Identity{t.FieldByName("NOM").AsString(), p.prenom, t.FieldByName("BIRTHDT").AsDateTime()}, p);
    }
    return rows;
  }

  fs::path root_;
  db::Session session_;
  db::Database DB_{session_, "DB"};
  shell::FunctionContext context_;
};

std::vector<Jet4Value> Row(const char* last, Jet4Value first, Jet4Value birth, Jet4Value weight, Jet4Value height,
                           Jet4Value foot, const char* sex = "F") {
  return {Jet4Value{},      std::string("Mme"), std::string(last), first, birth,     weight, height, foot,
          std::string(sex), std::string("Dr X"), std::string("Semelles"), Jet4Value{}, std::string("01 02 03 04 05"),
          Jet4Value{},      Jet4Value{}};
}

TEST_F(PatientFileRunTest, MapsCompletesAndSkipsThePatientsAlreadyPresent) {
  // A patient of the practice, as the generator made it.
  schema::PatientIdentity known;
  for (int i = 0; !known.birth_date || known.first_name.empty(); ++i) known = schema::IdentityOf(3, i, DateTime{2025, 6, 30});
  const std::string known_birth = shell::FormatDateTime("dd/mm/yyyy", *known.birth_date);

  mkmdb::Jet4Table table = mkmdb::MakePedoraPatients(0, 1);
  table.rows = {
      Row("Lefèvre", std::string("Zoé"), std::string("12/03/38"), 0.0, Jet4Value{}, 38.5),  // short year: 1938
      Row("Noël", std::string(), Jet4Value{}, 61.5, 172.0, 0.0, "M"),                      // completed twice
      Row("Quinze", std::string("Ans"), std::string("08/12/2011"), 40.0, 150.0, 36.0),      // fifteen today
      Row("Quatorze", std::string("Ans"), std::string("09/12/2011"), 40.0, 150.0, 36.0),    // fifteen tomorrow
      Row("Lefèvre", std::string("Zoé"), std::string("12/03/1938"), 55.0, 160.0, 37.0),    // the first one again
      Row(known.last_name.c_str(), known.first_name, known_birth, 70.0, 170.0, 42.0),
  };
  mkmdb::WriteJet4Database((root_ / "file.mdb").string(), {table});
  const size_t before = Patients().size();

  PatientFileImport run(context_, [] { return kToday; });
  ASSERT_EQ(run.OpenSource(root_.string(), "file.mdb"), 6);
  const std::optional<int64_t> admin = run.FindUser("Admin");
  ASSERT_TRUE(admin.has_value());
  Recorder recorder;
  const PatientFileCounts counts = run.Run(admin, recorder);
  EXPECT_EQ(counts.imported, 4u);
  EXPECT_EQ(counts.existing, 2u);
  EXPECT_EQ(recorder.total, 6);
  EXPECT_EQ(recorder.progressed, 6);

  const auto rows = Patients();
  EXPECT_EQ(rows.size(), before + 4);
  auto only = [&](const Identity& id) {
    EXPECT_EQ(rows.count(id), 1u) << std::get<0>(id) << " " << std::get<1>(id);
    return rows.find(id) == rows.end() ? StoredPatient{} : rows.find(id)->second;
  };
  const StoredPatient zoe = only({"Lefèvre", "Zoé", DateTime{1938, 3, 12}});
  EXPECT_EQ(std::tie(zoe.pointure, zoe.poids, zoe.taille), std::make_tuple("38,5", "50", "165"));
  EXPECT_EQ(std::tie(zoe.flag, zoe.sexe, zoe.teloff, zoe.note), std::make_tuple("A", "F", "01 02 03 04 05", "Semelles"));
  EXPECT_EQ(zoe.fk_use, *admin);
  EXPECT_EQ(zoe.classe, 1);
  EXPECT_EQ(zoe.date_pat, (DateTime{2026, 12, 8}));
  const StoredPatient noel = only({"Noël", "Noël", DateTime{1900, 1, 1}});
  EXPECT_EQ(std::tie(noel.pointure, noel.poids, noel.taille, noel.sexe), std::make_tuple("35", "61,5", "172", "M"));
  EXPECT_EQ(noel.classe, 1);
  EXPECT_EQ(only({"Quinze", "Ans", DateTime{2011, 12, 8}}).classe, 1);
  EXPECT_EQ(only({"Quatorze", "Ans", DateTime{2011, 12, 9}}).classe, 0);
  only({known.last_name, known.first_name, *known.birth_date});

  const std::vector<std::string> expected_report = {
      "Noël : Date de naissance complétée", "Noël : Prénom à complété", "Lefèvre Zoé : Patient existant",
      known.last_name + " " + known.first_name + " : Patient existant"};
  EXPECT_EQ(recorder.lines, expected_report);
  std::ifstream log(root_ / "IMPORT.log", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("08/12/26 10:30:00 : No\xebl  : Date de naissance compl\xe9t\xe9" "e\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("08/12/26 10:30:00 : Lef\xe8vre Zo\xe9 : Patient existant\r\n"), std::string::npos);
}

TEST_F(PatientFileRunTest, GeneratedFilesOfSeveralSeedsStoreEveryPatientOnce) {
  size_t before = Patients().size();
  for (uint32_t seed : {1u, 2u, 5u}) {
    const fs::path file = root_ / ("seed" + std::to_string(seed) + ".mdb");
    mkmdb::WritePedora(file.string(), 60, seed);
    PatientFileImport run(context_, [] { return kToday; });
    const int64_t rows = run.OpenSource(root_.string(), file.filename().string());
    Recorder recorder;
    const PatientFileCounts counts = run.Run(run.FindUser("admin"), recorder);
    EXPECT_EQ(static_cast<int64_t>(counts.imported + counts.existing), rows) << "seed " << seed;
    EXPECT_GE(counts.existing, 1u) << "the fixture repeats its first patient";
    const auto stored = Patients();
    EXPECT_EQ(stored.size(), before + counts.imported);
    for (auto it = stored.begin(); it != stored.end(); it = stored.upper_bound(it->first))
      EXPECT_EQ(stored.count(it->first), 1u) << std::get<0>(it->first) << " " << std::get<1>(it->first);
    before = stored.size();
  }
  // The engine's checks and pxlib, an independent reader, accept the table the runs wrote.
  const std::string data = schema::DataDirectory(root_.string());
  EXPECT_EQ(db::VerifyTable(session_, data, "Patient.DB"), std::vector<std::string>{});
  pxdoc_t* doc = PX_new();
  ASSERT_EQ(PX_open_file(doc, (data + "/Patient.DB").c_str()), 0);
  EXPECT_EQ(static_cast<size_t>(PX_get_num_records(doc)), before);
  std::vector<char> record(static_cast<size_t>(PX_get_recordsize(doc)));
  int read = 0;
  for (int r = 0; r < PX_get_num_records(doc); ++r) read += PX_get_record(doc, r, record.data()) != nullptr;
  EXPECT_EQ(static_cast<size_t>(read), before);
  PX_close(doc);
  PX_delete(doc);
}

TEST_F(PatientFileRunTest, UnreadableSourcesAreRefusedWithTheirReasonAndChangeNothing) {
  const fs::path dir = root_ / "sources";
  fs::create_directories(dir);
  std::ofstream(dir / "text.mdb") << "not an Access database";
  mkmdb::WritePedora((dir / "good.mdb").string(), 20, 4);
  {  // damaged: its pages cut short
    std::ifstream in(dir / "good.mdb", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir / "cut.mdb", std::ios::binary) << bytes.substr(0, bytes.size() / 2 + 100);
  }
  mkmdb::Jet4Table other = mkmdb::MakePedoraPatients(3, 1);
  other.name = "Clients";
  mkmdb::WriteJet4Database((dir / "no_patients.mdb").string(), {other});
  mkmdb::Jet4Table narrow = mkmdb::MakePedoraPatients(3, 1);
  narrow.columns.resize(5);
  for (auto& row : narrow.rows) row.resize(5);
  mkmdb::WriteJet4Database((dir / "narrow.mdb").string(), {narrow});

  const size_t before = Patients().size();
  for (const char* name : {"text.mdb", "cut.mdb", "no_patients.mdb", "narrow.mdb", "missing.mdb"}) {
    PatientFileImport run(context_, [] { return kToday; });
    try {
      run.OpenSource(dir.string(), name);
      ADD_FAILURE() << name << " was opened";
    } catch (const SourceError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("Connection à la base de données " + dir.string() + " impossible\r\r", 0), 0u) << message;
      EXPECT_GT(message.size(), dir.string().size() + 50) << name << ": the reason is missing";
    }
    EXPECT_FALSE(run.SourceOpen());
  }
  EXPECT_EQ(Patients().size(), before);
  EXPECT_FALSE(fs::exists(root_ / "IMPORT.log"));
}

TEST_F(PatientFileRunTest, ABirthDateThatIsNotADateEndsTheRunAndNothingLands) {
  mkmdb::Jet4Table table = mkmdb::MakePedoraPatients(0, 1);
  table.rows = {Row("Avant", std::string("Elle"), std::string("01/02/1990"), 50.0, 160.0, 37.0),
                Row("Faux", std::string("Lui"), std::string("31/02/1990"), 50.0, 160.0, 37.0)};
  mkmdb::WriteJet4Database((root_ / "bad.mdb").string(), {table});
  const size_t before = Patients().size();
  PatientFileImport run(context_, [] { return kToday; });
  run.OpenSource(root_.string(), "bad.mdb");
  Recorder recorder;
  try {
    run.Run(run.FindUser("Admin"), recorder);
    ADD_FAILURE() << "the run went on";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("'31/02/1990' n'est pas une date correcte"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Patients().size(), before);
  // The instance stays usable: its tables are opened afresh.
  EXPECT_TRUE(run.FindUser("Admin").has_value());
}

// The sizes' text is the general number format's (shell::FormatNumber) for
// every value, those of one to three decimals the sources hold and any other.
TEST(SizeTextTest, IsTheGeneralNumberFormatOfEveryValueOrTheFallback) {
  const shell::FormatSettings saved = shell::Formats();
  std::vector<double> values = {0.0, -0.0, 1e-5, 9.99999e-6, 1.5e-5, 1e15, 999999999999999.0, 999999999999999.9,
                                1e14 + 0.5, 0.1 + 0.2, 1.0 / 3, 2.0 / 3, 123456789012345.0, 1234567890123456.0,
                                -72.5, 35.0, 1e300, -1e-300, std::nan(""), HUGE_VAL, -HUGE_VAL};
  for (int k = -2000; k <= 20000; ++k) values.insert(values.end(), {k / 10.0, k / 100.0, k / 1000.0, k * 1.1});
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-8, 17);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(std::pow(10.0, exponent(random)) * (i % 2 ? 1 : -1));
    values.push_back(std::bit_cast<double>(random()));
  }
  for (const char separator : {',', '.'}) {
    shell::Formats().decimal_separator = separator;
    for (const double v : values) {
      const std::string general = shell::FormatNumber(v);
      EXPECT_EQ(SizeText(v, "35"), general.empty() || general == "0" ? "35" : general) << std::hexfloat << v;
    }
  }
  EXPECT_EQ(SizeText(std::nullopt, "165"), "165");
  shell::Formats() = saved;
}

}  // namespace
}  // namespace tabulor::patient_file_import
