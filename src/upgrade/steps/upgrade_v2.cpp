#include "upgrade/field_change.h"
#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {
namespace {

// The date field of patients and examinations takes the table's name.
void RenameDateField(UpgradeRun& run, const char* table, const char* new_name) {
  db::Table& t = OpenTable(run, table);
  if (!t.FindField(new_name)) RenameField(t, "DATE", new_name);
  t.Close();
}

// Raw acquisitions are marked uncompressed. Below version 2 there is no
// compressed blob, so a null mark left by a run that stopped during the fill
// is set as well when the step runs again. That also lets the marks be
// flushed in batches rather than row by row: each flush syncs the disk.
void UpgradeData(UpgradeRun& run) {
  constexpr int kRowsPerFlush = 4096;
  const bool added = AddFieldsUnlessPresent(run, "Data", "ZIPPED", "ALTER TABLE Data ADD ZIPPED INTEGER");
  db::Table& data = OpenTable(run, "Data");
  int pending = 0;
  for (data.First(); !data.Eof(); data.Next()) {
    db::Field& zipped = data.FieldByName("ZIPPED");
    if (!added && !zipped.IsNull()) continue;
    data.Edit();
    zipped.SetAsInteger(0);
    data.Post();
    if (++pending == kRowsPerFlush) {
      data.FlushBuffers();
      pending = 0;
    }
  }
  data.FlushBuffers();
  data.Close();
}

const db::IndexDef kProtocolKey{.name = "PK_TYPE", .fields = {"PK_TYPE"}, .primary = true, .unique = true};
const db::IndexDef kProtocolByCode{
    .name = "Protocole existant", .fields = {"CODE"}, .unique = true, .case_insensitive = true};

// The norms of each measurement; the protocol's indexes are built again,
// their code index becoming unique.
void UpgradeType(UpgradeRun& run) {
  if (!TableHasField(run, "Type", "FK_NORM_1")) {
    db::DropPrimaryKey(run.session(), run.database(), "Type");
    run.ExecSql(
        "ALTER TABLE Type ADD FK_NORM_1 INTEGER, ADD FK_NORM_2 INTEGER, ADD FK_NORM_3 INTEGER, ADD FK_NORM_4 INTEGER");
    AddIndexUnlessPresent(run, "Type", kProtocolKey);
    AddIndexUnlessPresent(run, "Type", kProtocolByCode);
    return;
  }
  // The norms are there: indexes that exist stay as they are, whatever their
  // options; one missing because a run stopped after the fields were added is built.
  for (const db::IndexDef* index : {&kProtocolKey, &kProtocolByCode})
    if (FindIndex(run, "Type", *index) == IndexPresence::kAbsent)
      db::AddIndex(run.session(), run.database(), "Type", *index);
}

bool HasVersionRow(UpgradeRun& run, const char* table) {
  db::Table& v = run.versions();
  v.Open();
  return v.FindKey({db::Value{std::string(table)}});
}

// The user table takes its plural name, replacing the files of any earlier
// "Users" table, and gets its password field.
void UpgradeUsers(UpgradeRun& run) {
  db::Table& t = run.table();
  if (t.Active()) t.Close();
  t.SetTableName("User");
  if (t.Exists()) {
    db::DeleteTableFiles(run.session(), run.database(), "Users");
    db::RenameTable(run.session(), run.database(), "User", "Users");
  } else if (!HasVersionRow(run, "User")) {
    // No "User" table and no "User" row left to rename: "Users" is not this step's.
    return;
  }
  // Also reached when a run stopped between the rename and the new field: the
  // "User" row of the version table is only renamed afterwards.
  AddFieldsUnlessPresent(run, "Users", "PASS_WD", "ALTER TABLE Users ADD PASS_WD CHAR(30)");
}

void UpgradeVersionRows(UpgradeRun& run) {
  db::Table& v = run.versions();
  v.Open();
  if (v.FindKey({db::Value{std::string("User")}})) {
    v.Edit();
    v.FieldByName("NomTable").SetAsString("Users");
    v.Post();
    v.FlushBuffers();
  }
  for (const char* table : {"Norme", "ParamJeu", "Ville"}) RegisterTable(run, table);
}

}  // namespace

void UpgradeV2(UpgradeRun& run) {
  RenameDateField(run, "Patient", "DATE_PAT");
  run.LogItem("Patient - V2");
  AddFieldsUnlessPresent(run, "Clefs", "LOGO",
                         "ALTER TABLE Clefs ADD LOGO CHAR(255), ADD MAIL Char(50), ADD WEB Char(30)");
  run.LogItem("Clefs - V2");
  UpgradeData(run);
  run.LogItem("Data - V2");
  RenameDateField(run, "Examen", "DATE_EXA");
  run.LogItem("Examen - V2");
  AddFieldsUnlessPresent(run, "Mesure", "VIDEO_LEFT",
                         "ALTER TABLE Mesure ADD VIDEO_LEFT Char(64), ADD VIDEO_RIGHT Char(64)");
  run.LogItem("Mesure - V2");
  AddFieldsUnlessPresent(run, "Posturo", "FK_NORM", "ALTER TABLE Posturo ADD FK_NORM INTEGER, ADD TAILLE Char(6)");
  run.LogItem("Posturo - V2");
  UpgradeType(run);
  run.LogItem("Type - V2");
  UpgradeUsers(run);
  run.LogItem("Users - V2");
  UpgradeVersionRows(run);
  run.LogItem("Version - V2");
}

}  // namespace tabulor::upgrade
