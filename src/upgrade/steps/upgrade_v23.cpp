#include "upgrade/step_helpers.h"
#include "upgrade/steps/version_steps.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {
namespace {

constexpr const char* kAdministrator = "ADMIN";
constexpr int kPasswordLifeDays = 90;

void UpgradeUsers(UpgradeRun& run) {
  AddFieldsUnlessPresent(run, "Users", "EXPIRE_DATE", "ALTER TABLE Users ADD EXPIRE_DATE DATE");

  db::Table& users = OpenTable(run, "Users");
  if (!users.Locate("NOM", db::Value{std::string(kAdministrator)}, /*case_insensitive=*/true)) {
    users.Append();
    users.FieldByName("NOM").SetAsString(kAdministrator);
    users.Post();
    users.FlushBuffers();
  }
  users.Close();

  // The administrator never expires; the others must change their password
  // within 90 days. Dates already set stay.
  const db::DateTime today = run.Now();
  const db::DateTime expiry = db::DateTime::FromOrdinalDays(today.OrdinalDays() + kPasswordLifeDays);
  FillRowsIgnoringErrors(run, "Users", [&](db::Table& t) {
    db::Field& expire = t.FieldByName("EXPIRE_DATE");
    if (!expire.AsString().empty()) return;
    t.Edit();
    // Only the exact upper-case name is the administrator; "admin" is an ordinary user.
    if (t.FieldByName("NOM").AsString() == kAdministrator) expire.SetAsDateTime(db::DateTime{2050, 1, 1});
    else expire.SetAsDateTime(expiry);
    t.Post();
  });
  run.LogItem("Users - V2.3");
}

}  // namespace

void UpgradeV23(UpgradeRun& run) {
  UpgradeUsers(run);
  AddIndexUnlessPresent(run, "Ville",
                        db::IndexDef{.name = "PK_VILLE", .fields = {"PK_VILLE"}, .primary = true, .unique = true});
  run.LogItem("Ville - V2.3");
}

}  // namespace tabulor::upgrade
