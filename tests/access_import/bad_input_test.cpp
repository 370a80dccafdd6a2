// tabulor-import access on sources that are not what it expects: a cut .mdb,
// the file of another product, tables without their columns, sample files that
// are binary, huge or cannot be read. Each is told clearly, a source that cannot
// be read fails the command, and the practice never holds half of anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "access_import/import_process.h"
#include "tools/tabulor-mkmdb/fixtures.h"

namespace tabulor::access_import::testing {
namespace {

namespace fs = std::filesystem;

int Lines(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = PracticeState(dirs_.Data("base"));
    made_ = mkmdb::MakeBalantis(options_);
  }
  fs::path Source(const std::string& name) const {
    const fs::path dir = dirs_.Root() / name;
    mkmdb::WriteBalantis(dir.string(), options_);
    return dir;
  }
  ImportOutcome Import(const std::string& program_dir, const fs::path& mdb,
                       const std::map<std::string, std::string>& environment = {}) const {
    return RunImportTool(dirs_.Fresh(program_dir), {"access", mdb.string(), "--full"}, environment);
  }
  // The command failed on the source, said so, and wrote nothing.
  void ExpectRefused(const ImportOutcome& outcome, const std::string& program_dir) const {
    EXPECT_EQ(outcome.exit_status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Connection à la base de données"), std::string::npos) << outcome.err;
    EXPECT_EQ(VerifyProblems(dirs_.Data(program_dir)), "");
    EXPECT_EQ(PracticeState(dirs_.Data(program_dir)), before_) << "a refused source changed the practice";
  }

  ProgramDirs dirs_{"access_bad_input"};
  const mkmdb::BalantisOptions options_{12, 5};
  mkmdb::BalantisSource made_;
  std::string before_;
};

TEST_F(BadInputTest, AnUnreadableDatabaseFailsTheCommandAndWritesNothing) {
  // Cut inside its header page, and cut after a few pages.
  for (const uintmax_t size : {uintmax_t{1000}, uintmax_t{4096 * 3}}) {
    SCOPED_TRACE("cut to " + std::to_string(size) + " bytes");
    const fs::path mdb = Source("cut") / "Balantis2000.mdb";
    ASSERT_GT(fs::file_size(mdb), size);
    fs::resize_file(mdb, size);
    ExpectRefused(Import("cut_run", mdb), "cut_run");
  }
  {
    SCOPED_TRACE("the patient file of another product");
    const fs::path mdb = dirs_.Root() / "pedora" / "Balantis2000.mdb";
    fs::create_directories(mdb.parent_path());
    mkmdb::WritePedora(mdb.string(), 10, 1);
    ExpectRefused(Import("pedora_run", mdb), "pedora_run");
  }
  // The four tables, one of them without a column the import reads.
  for (const auto& [table, column] : {std::pair{0, "Date_Naissance_Patient"}, std::pair{1, "Duree_Sequence"},
                                      std::pair{2, "Code_Jeu"}, std::pair{3, "Type_Yeux"}}) {
    mkmdb::Jet4Table& t = made_.tables[static_cast<size_t>(table)];
    SCOPED_TRACE(t.name + " without " + column);
    std::vector<mkmdb::Jet4Table> tables = made_.tables;
    mkmdb::Jet4Table& cut = tables[static_cast<size_t>(table)];
    size_t at = 0;
    while (cut.columns[at].name != column) ++at;
    cut.columns.erase(cut.columns.begin() + static_cast<long>(at));
    for (auto& row : cut.rows) row.erase(row.begin() + static_cast<long>(at));
    const fs::path mdb = dirs_.Root() / "columns" / "Balantis2000.mdb";
    fs::create_directories(mdb.parent_path());
    mkmdb::WriteJet4Database(mdb.string(), tables);
    const ImportOutcome outcome = Import("columns_run", mdb);
    ExpectRefused(outcome, "columns_run");
    EXPECT_NE(outcome.err.find(column), std::string::npos) << "the missing column is named: " << outcome.err;
  }
}

// Four sample files that are no sample files: each fails its own measurement with
// an event, the run goes on, and the practice is what it would be without them.
TEST_F(BadInputTest, BadSampleFilesFailTheirMeasurementsAndLeaveNoTrace) {
  ASSERT_GE(made_.files.size(), 4u);
  const fs::path bad = Source("bad_files") / "data";
  const std::string binary = made_.files[0].name, huge = made_.files[1].name, endless = made_.files[2].name,
                    unreadable = made_.files[3].name;
  {
    std::ofstream out(bad / binary, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 1024; ++i) out.put(static_cast<char>(i % 256));
  }
  {
    std::ofstream(bad / huge, std::ios::trunc).close();
    fs::resize_file(bad / huge, uintmax_t{4} << 30);  // 4 GiB of zeros, sparse
  }
  {
    std::ofstream out(bad / endless, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 150000; ++i) out << "1,2\r\n";  // more than an hour at 40 Hz
  }
  const ImportOutcome outcome =
      Import("bad_run", bad.parent_path() / "Balantis2000.mdb",
             {{"LD_PRELOAD", KillLibrary()}, {"TABULOR_FAIL_READS", "/" + unreadable}});
  EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
  const std::string heading = "Erreur à l'importation de la mesure";
  for (const char* told : {"Ligne 1 illisible", "Ligne 1 trop longue", "Fichier trop long", "Erreur de lecture"}) {
    const size_t at = outcome.err.find(told);
    ASSERT_NE(at, std::string::npos) << told << " is not told: " << outcome.err;
    const size_t line = outcome.err.rfind('\n', at) + 1;
    EXPECT_EQ(outcome.err.compare(line, heading.size(), heading), 0) << outcome.err.substr(line, at - line + 40);
  }

  // The same source without those four files: the same practice, row for row.
  const fs::path missing = Source("missing_files") / "data";
  for (const std::string& name : {binary, huge, endless, unreadable}) ASSERT_TRUE(fs::remove(missing / name));
  const ImportOutcome reference = Import("reference_run", missing.parent_path() / "Balantis2000.mdb");
  ASSERT_EQ(reference.exit_status, 0) << reference.err;
  EXPECT_EQ(Lines(outcome.err, heading), Lines(reference.err, heading));
  EXPECT_EQ(Lines(reference.err, " : Fichier introuvable !"), Lines(outcome.err, " : Fichier introuvable !") + 4);
  EXPECT_EQ(VerifyProblems(dirs_.Data("bad_run")), "");
  EXPECT_EQ(PracticeState(dirs_.Data("bad_run")), PracticeState(dirs_.Data("reference_run")));
  EXPECT_NE(PracticeState(dirs_.Data("bad_run")), before_);
}

}  // namespace
}  // namespace tabulor::access_import::testing
