// The version steps on databases that differ from the generated layouts in
// the ways the practice software leaves them: fields already there, users
// already named, defaults already set, rows already registered, a run that
// stopped part-way, files of another database beside the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "db/paradox/upper_case.h"
#include "database_snapshot.h"
#include "practice_db.h"
#include "upgrade/steps/version_steps.h"

namespace tabulor::upgrade::testing {
namespace {

using ::testing::HasSubstr;

class UpgradeStepsTest : public ::testing::Test {
 protected:
  void Open(int version, bool stray_users = false) {
    Generate(scratch_.path(), version, stray_users);
    db_ = std::make_unique<PracticeDb>(scratch_.path());
  }
  void Sql(const std::string& statement) { db::ExecSql(db_->session, "DB", statement); }

  // Every value of `field` in `table`, in key order ("" for null).
  std::vector<std::string> Column(const std::string& table, const std::string& field) {
    db::Table t(db_->session, "DB", table);
    t.Open();
    std::vector<std::string> values;
    for (t.First(); !t.Eof(); t.Next()) values.push_back(t.FieldByName(field).AsString());
    t.Close();
    return values;
  }
  int Count(const std::vector<std::string>& values, const std::string& value) {
    return static_cast<int>(std::count(values.begin(), values.end(), value));
  }
  void AppendUser(const std::string& table, const std::string& name) {
    db::Table t(db_->session, "DB", table);
    t.Open();
    t.Append();
    t.FieldByName("NOM").SetAsString(name);
    t.Post();
    t.Close();
  }
  bool HasField(const std::string& table, const std::string& field) {
    db::Table t(db_->session, "DB", table);
    t.Open();
    const bool has = t.FindField(field) != nullptr;
    t.Close();
    return has;
  }

  ScratchDir scratch_;
  std::unique_ptr<PracticeDb> db_;
};

TEST_F(UpgradeStepsTest, AFieldAlreadyThereIsNotAddedAgainAndTheRunGoesOn) {
  Open(0);
  Sql("ALTER TABLE Patient ADD CLASSE INTEGER");
  ASSERT_EQ(db_->RunUpgrade(), 1);
  EXPECT_EQ(LoggedLabels(db_->LogPath()), ExpectedLabels(0));
  db::Table patient(db_->session, "DB", "Patient");
  patient.Open();
  int classe = 0;
  for (const db::FieldDef& f : patient.Definition().fields) classe += f.name == "CLASSE";
  EXPECT_EQ(classe, 1);
}

TEST_F(UpgradeStepsTest, TheUserTableReplacesStrayUsersFilesAndGetsItsPassword) {
  Open(100, /*stray_users=*/true);
  const std::vector<std::string> old_names = Column("User", "NOM");
  ASSERT_EQ(db_->RunUpgrade(), 1);
  EXPECT_FALSE(fs::exists(db_->data_dir / "User.DB"));
  const std::vector<std::string> names = Column("Users", "NOM");
  EXPECT_EQ(Count(names, "ANCIEN UTILISATEUR"), 0);
  for (const std::string& name : old_names) EXPECT_EQ(Count(names, db::UpperCase(name, db::TableDef{})), 1) << name;
  EXPECT_TRUE(HasField("Users", "PASS_WD"));
  const auto rows = db_->VersionRows();
  EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const auto& r) { return r.first == "User"; }));
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto& r) { return r.first == "Users"; }), 1);
}

TEST_F(UpgradeStepsTest, WithoutAUserTableTheVersion2StepLeavesUsersAlone) {
  Open(100);
  db::RenameTable(db_->session, "DB", "User", "Users");
  db_->tVersion.Open();
  ASSERT_TRUE(db_->tVersion.FindKey({db::Value{std::string("User")}}));
  db_->tVersion.Edit();
  db_->tVersion.FieldByName("NomTable").SetAsString("Users");
  db_->tVersion.Post();
  db_->tVersion.Close();
  ASSERT_EQ(db_->RunUpgrade(), 1);
  EXPECT_FALSE(HasField("Users", "PASS_WD"));
  EXPECT_EQ(LoggedLabels(db_->LogPath()), ExpectedLabels(100));
}

TEST_F(UpgradeStepsTest, ProtocolsThatHaveTheirNormsKeepTheirIndexFiles) {
  Open(100);
  Sql("ALTER TABLE Type ADD FK_NORM_1 INTEGER, ADD FK_NORM_2 INTEGER, ADD FK_NORM_3 INTEGER, ADD FK_NORM_4 INTEGER");
  {
    // The code index as it was before version 2: not unique.
    db::Table type(db_->session, "DB", "Type");
    type.Open();
    const bool generated = !type.Definition().indexes.empty();
    type.Close();
    if (!generated)
      db::AddIndex(db_->session, "DB", "Type",
                   db::IndexDef{.name = "Protocole existant", .fields = {"CODE"}, .case_insensitive = true});
  }
  auto index_files = [&] {
    std::map<std::string, fs::file_time_type> files;
    for (const auto& entry : fs::directory_iterator(db_->data_dir))
      if (entry.path().stem() == "Type" && entry.path().extension() != ".DB")
        files[entry.path().filename()] = fs::last_write_time(entry.path());
    return files;
  };
  auto indexes = [&] {
    db::Table type(db_->session, "DB", "Type");
    type.Open();
    std::vector<std::pair<std::string, bool>> names;
    for (const db::IndexDef& index : type.Definition().indexes) names.emplace_back(index.name, index.unique);
    return names;
  };
  const auto before = index_files();
  const auto indexes_before = indexes();
  ASSERT_TRUE(before.count("Type.PX"));
  ASSERT_TRUE(before.count("Type.XG0"));
  ASSERT_EQ(indexes_before, (std::vector<std::pair<std::string, bool>>{{"Protocole existant", false}}));
  {
    UpgradeRun run(db_->Setup());
    UpgradeV2(run);  // the later V2.4 field restructures the table anew
  }
  EXPECT_EQ(index_files(), before);
  EXPECT_EQ(indexes(), indexes_before);  // none added, none rebuilt with other options
}

TEST_F(UpgradeStepsTest, ALowerCaseAdminIsAnOrdinaryUserUntilItsNameIsUpperCased) {
  Open(210);
  AppendUser("Users", "admin");
  ASSERT_EQ(db_->RunUpgrade(), 1);
  const std::vector<std::string> names = Column("Users", "NOM");
  EXPECT_EQ(Count(names, "ADMIN"), 1);  // no row appended, the lower-case one upper-cased
  EXPECT_EQ(Count(names, "admin"), 0);
  db::Table users(db_->session, "DB", "Users");
  users.Open();
  ASSERT_TRUE(users.Locate("NOM", db::Value{std::string("ADMIN")}, false));
  EXPECT_EQ(users.FieldByName("EXPIRE_DATE").AsDateTime(),
            db::DateTime::FromOrdinalDays(TestNow().OrdinalDays() + 90));
}

TEST_F(UpgradeStepsTest, ExpiryDatesAlreadySetStayAndTheNewAdministratorNeverExpires) {
  Open(210);
  Sql("ALTER TABLE Users ADD EXPIRE_DATE DATE");
  db::Table users(db_->session, "DB", "Users");
  users.Open();
  users.First();
  users.Edit();
  users.FieldByName("EXPIRE_DATE").SetAsDateTime(db::DateTime{2031, 7, 14});
  users.Post();
  const std::string first_user = users.FieldByName("PK_USE").AsString();
  users.Close();

  ASSERT_EQ(db_->RunUpgrade(), 1);
  users.Open();
  int admins = 0;
  for (users.First(); !users.Eof(); users.Next()) {
    const db::DateTime expiry = users.FieldByName("EXPIRE_DATE").AsDateTime();
    if (users.FieldByName("PK_USE").AsString() == first_user) {
      EXPECT_EQ(expiry, (db::DateTime{2031, 7, 14}));
    } else if (users.FieldByName("NOM").AsString() == "ADMIN") {
      ++admins;
      EXPECT_EQ(expiry, (db::DateTime{2050, 1, 1}));
    } else {
      EXPECT_EQ(expiry, db::DateTime::FromOrdinalDays(TestNow().OrdinalDays() + 90));
    }
  }
  EXPECT_EQ(admins, 1);
}

TEST_F(UpgradeStepsTest, ProtocolsKeepTheirPressureFlagAndEmptyOnesBecomeFalse) {
  Open(230);
  Sql("ALTER TABLE Type ADD PRESSIONS BOOLEAN");
  db::Table type(db_->session, "DB", "Type");
  type.Open();
  type.First();
  type.Edit();
  type.FieldByName("PRESSIONS").SetAsBoolean(true);
  type.Post();
  type.Next();
  type.Edit();
  type.FieldByName("PRESSIONS").SetAsBoolean(false);
  type.Post();
  type.Close();
  const std::vector<std::string> before = Column("Type", "PRESSIONS");
  ASSERT_GT(Count(before, ""), 0);

  ASSERT_EQ(db_->RunUpgrade(), 1);
  const std::vector<std::string> after = Column("Type", "PRESSIONS");
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_FALSE(after[i].empty()) << i;
    if (!before[i].empty()) {
      EXPECT_EQ(after[i], before[i]) << i;
    }
  }
  type.Open();
  type.First();
  EXPECT_TRUE(type.FieldByName("PRESSIONS").AsBoolean());
}

TEST_F(UpgradeStepsTest, RegisteredNamesAreNotAppendedTwice) {
  Open(100);
  db_->tVersion.Open();
  for (const char* name : {"Norme", "Bilan"}) {
    db_->tVersion.Append();
    db_->tVersion.FieldByName("NomTable").SetAsString(name);
    db_->tVersion.FieldByName("Version").SetAsFloat(1.0);
    db_->tVersion.Post();
  }
  db_->tVersion.Close();
  ASSERT_EQ(db_->RunUpgrade(), 1);
  std::map<std::string, int> rows;
  for (const auto& [name, version] : db_->VersionRows()) {
    ++rows[name];
    EXPECT_EQ(version, 280) << name;
  }
  for (const char* name : {"Norme", "ParamJeu", "Ville", "Bilan", "BilanParam", "Docs", "Jeu", "RefValue",
                           "Stimulation", "Users", "Patient"})
    EXPECT_EQ(rows[name], 1) << name;
}

TEST_F(UpgradeStepsTest, AnIndexAlreadyAddedIsKeptButAnotherUnderItsNameStopsTheRun) {
  Open(200);
  db::AddIndex(db_->session, "DB", "Jeu",
               db::IndexDef{.name = "IDJeu", .fields = {"FK_PAT", "DATE_JEU", "TIME"}, .unique = true,
                            .case_insensitive = true});
  ASSERT_EQ(db_->RunUpgrade(), 1);
  EXPECT_EQ(LoggedLabels(db_->LogPath()), ExpectedLabels(200));

  ScratchDir other;
  Generate(other.path(), 200);
  PracticeDb second(other.path());
  db::AddIndex(second.session, "DB", "Jeu", db::IndexDef{.name = "IDNiveau", .fields = {"FK_PAT"}});
  try {
    second.RunUpgrade();
    FAIL() << "a different IDNiveau index was accepted";
  } catch (const db::EngineError& e) {
    EXPECT_THAT(e.what(), HasSubstr("IDNiveau"));
  }
  for (const auto& [name, version] : second.VersionRows()) EXPECT_EQ(version, 200) << name;
}

TEST_F(UpgradeStepsTest, AFailedStepStampsNothingAndTheNextRunCompletes) {
  Open(0);
  const fs::path aside = scratch_.path() / "aside";
  fs::create_directories(aside);
  for (const auto& entry : fs::directory_iterator(db_->data_dir))
    if (entry.path().stem() == "Mesure") fs::rename(entry.path(), aside / entry.path().filename());
  EXPECT_THROW(db_->RunUpgrade(), db::EngineError);
  for (const auto& [name, version] : db_->VersionRows()) EXPECT_EQ(version, 0) << name;

  for (const auto& entry : fs::directory_iterator(aside)) fs::rename(entry.path(), db_->data_dir / entry.path().filename());
  ASSERT_EQ(db_->RunUpgrade(), 1);
  for (const auto& [name, version] : db_->VersionRows()) EXPECT_EQ(version, 280) << name;
  EXPECT_TRUE(HasField("Patient", "DATE_PAT"));
  EXPECT_TRUE(HasField("Mesure", "POST_SEQ"));
}

// The index and Users files removed by version 2 are those of the database
// being upgraded, wherever its alias points; files of another database beside
// the program and files of other tables stay.
TEST_F(UpgradeStepsTest, FileDeletionsHappenInTheUpgradedDatabaseOnly) {
  const fs::path program = scratch_.path() / "program";
  const fs::path elsewhere = scratch_.path() / "elsewhere";
  Generate(elsewhere, 100, /*stray_users=*/true);
  Generate(program, 280);  // another database in the program's own Data directory
  auto listing = [](const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
  };
  const auto program_files = listing(program / "DATA");
  std::ofstream(elsewhere / "DATA" / "UsersOld.DB") << "x";
  std::ofstream(elsewhere / "DATA" / "Users.PX.bak") << "x";

  PracticeDb db(elsewhere);
  UpgradeSetup setup = db.Setup();
  setup.log_path = (program / "UPGRADE.log").string();
  UpgradeRun run(std::move(setup));
  ASSERT_EQ(run.RunUpgrade(), 1);

  EXPECT_EQ(listing(program / "DATA"), program_files);
  const auto upgraded = listing(elsewhere / "DATA");
  EXPECT_TRUE(upgraded.count("UsersOld.DB"));
  EXPECT_TRUE(upgraded.count("Users.PX.bak"));
  EXPECT_FALSE(upgraded.count("User.DB"));
  EXPECT_EQ(LoggedLabels(program / "UPGRADE.log"), ExpectedLabels(100));
}

}  // namespace
}  // namespace tabulor::upgrade::testing
