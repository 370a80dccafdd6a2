// Renaming one field restructures the table in place: the values follow the
// field, the other fields and the rows stay, and the table object is open for
// shared use afterwards whatever happened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "practice_db.h"
#include "upgrade/field_change.h"

namespace tabulor::upgrade::testing {
namespace {

class FieldChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::TableDef def;
    def.fields = {{"PK", db::FieldType::kAutoInc, 0}, {"DATE", db::FieldType::kDate, 0}, {"NOM", db::FieldType::kAlpha, 20}};
    def.key_field_count = 1;
    db::CreateTable(session_, scratch_.path().string(), "Examen", def);
    db::Table t(session_, scratch_.path().string(), "Examen");
    t.Open();
    for (int i = 1; i <= 30; ++i) {
      t.Append();
      t.FieldByName("DATE").SetAsDateTime(db::DateTime{2020, 1 + i % 12, i % 28 + 1});
      t.FieldByName("NOM").SetAsString("examen " + std::to_string(i));
      t.Post();
    }
    t.Close();
  }

  ScratchDir scratch_;
  db::Session session_;
};

TEST_F(FieldChangeTest, ARenamedFieldKeepsItsValuesAndTheTableIsOpenAgain) {
  db::Table table(session_, scratch_.path().string(), "Examen");
  table.Open();  // shared: taken exclusively for the change
  RenameField(table, "date", "DATE_EXA");
  ASSERT_TRUE(table.Active());
  EXPECT_EQ(table.FindField("DATE"), nullptr);
  ASSERT_EQ(table.FieldCount(), 3);
  EXPECT_EQ(table.FieldAt(1).Name(), "DATE_EXA");
  EXPECT_EQ(table.RecordCount(), 30);
  int i = 1;
  for (table.First(); !table.Eof(); table.Next(), ++i) {
    EXPECT_EQ(table.FieldByName("DATE_EXA").AsDateTime(), (db::DateTime{2020, 1 + i % 12, i % 28 + 1}));
    EXPECT_EQ(table.FieldByName("NOM").AsString(), "examen " + std::to_string(i));
  }
  // Shared again: a second cursor can open the table.
  db::Table other(session_, scratch_.path().string(), "Examen");
  EXPECT_NO_THROW(other.Open());
}

TEST_F(FieldChangeTest, AMissingFieldOrATooLongNameIsAnErrorAndTheTableStaysUsable) {
  db::Table table(session_, scratch_.path().string(), "Examen");
  EXPECT_THROW(RenameField(table, "DATE_EXA", "DATE_X"), db::EngineError);
  EXPECT_TRUE(table.Active());
  EXPECT_THROW(RenameField(table, "DATE", std::string(32, 'X')), db::EngineError);
  EXPECT_NE(table.FindField("DATE"), nullptr);
  db::Table other(session_, scratch_.path().string(), "Examen");
  EXPECT_NO_THROW(other.Open());
}

TEST_F(FieldChangeTest, ATableOpenElsewhereCannotBeRestructured) {
  db::Table holder(session_, scratch_.path().string(), "Examen");
  holder.Open();
  db::Table table(session_, scratch_.path().string(), "Examen");
  EXPECT_THROW(RenameField(table, "DATE", "DATE_EXA"), db::EngineError);
  EXPECT_NE(holder.FindField("DATE"), nullptr);
}

}  // namespace
}  // namespace tabulor::upgrade::testing
