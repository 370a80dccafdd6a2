// Cursors in a secondary order or a field list, detail cursors among them,
// against a model of what they show: a random run of appends, edits and
// deletes (through the cursors and through others, often of the row a cursor
// stands on), master moves, FindKey, Locate, navigation, flushes and posts a
// unique index must refuse, partly inside a unit of work. After every step
// each cursor's rows must be those of a cursor whose order is set afresh, and
// its row, Eof and Bof those the cursor rules give. Once a table was flushed,
// its searches and unique tests are served by its index files: the run must
// have gone through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "db/paradox/table_family.h"
#include "db/paradox/unit_of_work.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;

// Texts that differ by case and by accents only, so that the case rules matter.
const char* const kTexts[] = {"abc", "ABC", "Abc", "émile", "ÉMILE", "Émile", "zoé", "ZOE", "b"};

// A cursor under test: its table, the field naming a row, its order and its master fields.
struct Spec {
  const char* name;
  const char* table;
  const char* id_field;
  const char* text_field;
  const char* index_name;
  const char* index_fields;
  const char* master_fields;  // "" when it has no master
};

const Spec kSpecs[] = {
    {"examinations on FK_PAT, detail of the patient", "Examen", "PK_EXA", "LIB", "FK_PAT", "", "PK_PAT"},
    {"examinations on Lib_Pat (case-insensitive)", "Examen", "PK_EXA", "LIB", "Lib_Pat", "", ""},
    {"examinations on Lib_Pat, detail on the patient's NOM", "Examen", "PK_EXA", "LIB", "Lib_Pat", "", "NOM"},
    {"examinations on Lib_Desc (descending)", "Examen", "PK_EXA", "LIB", "Lib_Desc", "", ""},
    {"examinations on FK_PAT;LIB, detail of the patient", "Examen", "PK_EXA", "LIB", "", "FK_PAT;LIB", "PK_PAT"},
    {"notes on TXT;FK_PAT", "Notes", "ID", "TXT", "", "TXT;FK_PAT", ""},
    {"notes on FK_PAT;TXT, detail of the patient", "Notes", "ID", "TXT", "", "FK_PAT;TXT", "PK_PAT"},
};

// A row as the model knows it: its id and its edit stamp (every edit changes N).
struct RowMark {
  int64_t id;
  int64_t n;
  bool operator==(const RowMark&) const = default;
};

// What the cursor rules say a cursor shows.
struct Expected {
  int index = -1;  // in `rows`
  bool eof = true, bof = true;
  std::optional<RowMark> current;  // the row it holds, to be found again after changes
  std::vector<RowMark> rows;       // in its order
};

class ModelRun {
 public:
  explicit ModelRun(const std::string& dir) : dir_(dir) {
    TableDef pat;
    pat.fields = {{"PK_PAT", FieldType::kLong, 0}, {"NOM", FieldType::kAlpha, 12}};
    pat.key_field_count = 1;
    CreateTable(session_, dir, "Patient", pat);
    TableDef exa;
    exa.fields = {{"PK_EXA", FieldType::kLong, 0}, {"FK_PAT", FieldType::kLong, 0}, {"LIB", FieldType::kAlpha, 40},
                  {"N", FieldType::kLong, 0}};
    exa.key_field_count = 1;
    CreateTable(session_, dir, "Examen", exa);
    AddIndex(session_, dir, "Examen", {"FK_PAT", {"FK_PAT"}});
    IndexDef lib_pat{"Lib_Pat", {"LIB", "FK_PAT"}};
    lib_pat.case_insensitive = true;
    AddIndex(session_, dir, "Examen", lib_pat);
    IndexDef lib_desc{"Lib_Desc", {"LIB"}};
    lib_desc.descending = true;
    AddIndex(session_, dir, "Examen", lib_desc);
    IndexDef stamp{"Stamp", {"N"}};  // every post gives N a new value
    stamp.unique = true;
    AddIndex(session_, dir, "Examen", stamp);
    TableDef notes;  // unkeyed: rows stay in the order they came
    notes.fields = {{"ID", FieldType::kLong, 0}, {"FK_PAT", FieldType::kLong, 0}, {"TXT", FieldType::kAlpha, 12},
                    {"N", FieldType::kLong, 0}};
    CreateTable(session_, dir, "Notes", notes);
    for (const char* t : {"Patient", "Examen", "Notes"}) {
      writers_[t] = std::make_unique<Table>(session_, dir, t);
      writers_[t]->Open();
    }
    master_ = std::make_unique<Table>(session_, dir, "Patient");
    master_->Open();
    for (int i = 0; i < 8; ++i) AddPatient();
    for (int i = 0; i < 40; ++i) AddRow(*writers_[i % 2 ? "Examen" : "Notes"], i % 2 ? "Examen" : "Notes");
    master_->First();
    for (const Spec& spec : kSpecs) {
      cursors_.push_back(std::make_unique<Table>(session_, dir, spec.table));
      references_.push_back(std::make_unique<Table>(session_, dir, spec.table));
      for (Table* t : {cursors_.back().get(), references_.back().get()}) {
        t->Open();
        Configure(*t, spec);
      }
      expected_.emplace_back();
    }
    for (size_t c = 0; c < cursors_.size(); ++c) {
      expected_[c].rows = ReferenceRows(c);
      Settle(c, true, false);
      Check(c, "opening");
    }
  }

  void Step(std::mt19937& rng, const std::string& what_before) {
    const size_t c = rng() % cursors_.size();
    const Spec& spec = kSpecs[c];
    Table& t = *cursors_[c];
    Expected& e = expected_[c];
    changed_.clear();
    const std::vector<std::optional<Value>> master_before = MasterValues();
    std::string what;
    switch (rng() % 15) {
      case 0: case 1: case 2: {  // navigation
        const int n = static_cast<int>(e.rows.size());
        const bool has_row = e.index >= 0 && e.index < n;
        switch (rng() % 4) {
          case 0:
            what = "First";
            t.First();
            Move(e, n ? 0 : -1);
            e.bof = true;
            e.eof = n == 0;
            break;
          case 1:
            what = "Last";
            t.Last();
            Move(e, n - 1);
            e.eof = true;
            e.bof = n == 0;
            break;
          case 2:
            what = "Next";
            t.Next();
            if (has_row) e.bof = false;
            if (has_row && e.index + 1 < n) Move(e, e.index + 1);
            else e.eof = true;
            break;
          default:
            what = "Prior";
            t.Prior();
            if (has_row) e.eof = false;
            if (has_row && e.index > 0) Move(e, e.index - 1);
            else e.bof = true;
        }
        break;
      }
      case 3: case 4: {  // FindKey and Locate, compared with the reference
        Table& r = *references_[c];
        Configure(r, spec);
        bool found_here, found_there;
        if (rng() % 3) {
          std::vector<Value> key = SearchKey(rng, spec);
          what = "FindKey";
          found_here = t.FindKey(key);
          found_there = r.FindKey(key);
        } else {
          const std::string text = kTexts[rng() % std::size(kTexts)];
          const bool ci = rng() % 2;
          what = "Locate " + text;
          found_here = t.Locate(spec.text_field, text, ci);
          found_there = r.Locate(spec.text_field, text, ci);
        }
        ASSERT_EQ(found_here, found_there) << what;
        if (found_there) {
          const RowMark mark = MarkOf(r, spec);
          const auto at = std::find(e.rows.begin(), e.rows.end(), mark);
          ASSERT_NE(at, e.rows.end()) << what;
          Move(e, static_cast<int>(at - e.rows.begin()));
          e.eof = e.bof = false;
          // The row found changed or went at once, through another cursor.
          if (std::string(spec.table) == "Examen" && rng() % 3 == 0) {
            Table& w = *writers_["Examen"];
            ASSERT_TRUE(Seek(w, "Examen", e.rows[e.index].id));
            if (rng() % 2) {
              what += ", then an edit of its row";
              EditRow(w, "Examen", rng);
            } else {
              what += ", then a delete of its row";
              w.Delete();
              changed_.push_back("Examen");
            }
          }
        }
        break;
      }
      case 5: case 6:  // a row posted through the cursor
        if (rng() % 2 || !HasRow(e)) {
          what = "Append through the cursor";
          e.current = AddRow(t, spec.table, &rng);
        } else {
          what = "Edit through the cursor";
          e.current = EditRow(t, spec.table, rng);
        }
        e.eof = e.bof = false;
        break;
      case 7:
        if (!HasRow(e)) return;
        what = "Delete through the cursor";
        t.Delete();
        changed_.push_back(spec.table);
        break;
      case 8: {  // changes through another cursor
        const char* table = rng() % 2 ? "Examen" : "Notes";
        Table& w = *writers_[table];
        const std::vector<int64_t> ids = Ids(table);
        const int kind = ids.empty() ? 0 : static_cast<int>(rng() % 3);
        // Often the row the cursor stands on, so that it must find its place again.
        const bool own_row = table == std::string(spec.table) && HasRow(e) && rng() % 2;
        const int64_t id = own_row ? e.rows[e.index].id : ids.empty() ? 0 : ids[rng() % ids.size()];
        if (kind == 0) {
          what = std::string("Append to ") + table;
          AddRow(w, table, &rng);
        } else {
          ASSERT_TRUE(Seek(w, table, id));
          if (kind == 1) {
            what = std::string("Edit of ") + table;
            EditRow(w, table, rng);
          } else {
            what = std::string("Delete in ") + table;
            w.Delete();
            changed_.push_back(table);
          }
        }
        break;
      }
      case 9: case 10:  // the master moves
        if (!master_->Active()) return;
        what = "master moves";
        switch (rng() % 4) {
          case 0: master_->Next(); break;
          case 1: master_->Prior(); break;
          case 2: master_->FindKey({static_cast<int64_t>(1 + rng() % patients_)}); break;
          default: master_->Last();
        }
        break;
      case 11:
        what = "a patient added";
        AddPatient(&rng);
        break;
      case 12:
        what = "flush";
        writers_[spec.table]->FlushBuffers();
        break;
      case 13: {  // a post the unique index refuses, leaving every row as it was
        const std::vector<int64_t> ids = Ids("Examen");
        if (ids.size() < 2) return;
        Table& w = *writers_["Examen"];
        ASSERT_TRUE(Seek(w, "Examen", ids[rng() % ids.size()]));
        const int64_t taken = w.FieldByName("N").AsInteger();
        if (rng() % 3 == 0) {
          what = "an N freed by an edit, then taken by a new row";
          EditRow(w, "Examen", rng);
          w.Append();
          w.FieldByName("PK_EXA").SetAsInteger(NewId());
          w.FieldByName("FK_PAT").SetAsInteger(1);
          w.FieldByName("LIB").SetAsString(kTexts[rng() % std::size(kTexts)]);
          w.FieldByName("N").SetAsInteger(taken);
          w.Post();
          break;
        }
        ASSERT_TRUE(Seek(w, "Examen", ids[rng() % ids.size()]));
        if (w.FieldByName("N").AsInteger() == taken || rng() % 2) {
          what = "append of a taken N";
          w.Append();
          w.FieldByName("PK_EXA").SetAsInteger(NewId());
          w.FieldByName("FK_PAT").SetAsInteger(1);
        } else {
          what = "edit to a taken N";
          w.Edit();
        }
        w.FieldByName("N").SetAsInteger(taken);
        EXPECT_THROW(w.Post(), EngineError) << what;
        w.Cancel();
        break;
      }
      default:
        if (master_->Active() && rng() % 4) return;
        what = master_->Active() ? "master closed" : "master opened";
        if (master_->Active()) master_->Close();
        else master_->Open();
    }
    const std::vector<std::optional<Value>> master_after = MasterValues();
    for (size_t k = 0; k < cursors_.size(); ++k) {
      const bool changed = std::count(changed_.begin(), changed_.end(), std::string(kSpecs[k].table)) > 0;
      const bool moved = master_after[k] != master_before[k];
      if (k == c && what.rfind("Delete through", 0) == 0) {
        // The row after the deleted one, or the new last row.
        const int old = e.index;
        e.rows = ReferenceRows(k);
        const int n = static_cast<int>(e.rows.size());
        Move(e, n == 0 ? -1 : std::min(old, n - 1));
        e.eof = n == 0;
        e.bof = true;
      } else if (changed || moved) {
        const bool had_row = HasRow(expected_[k]) || (k == c && what.find("through the cursor") != std::string::npos);
        expected_[k].rows = ReferenceRows(k);
        Settle(k, moved, had_row);
      }
      Check(k, what + " (step before: " + what_before + ")");
      if (::testing::Test::HasFatalFailure()) return;
    }
    last_ = what;
  }

  const std::string& Last() const { return last_; }
  Session& session() { return session_; }
  const std::string& dir() const { return dir_; }

 private:
  // Sets the cursor's order and master afresh (which also builds its rows afresh).
  void Configure(Table& t, const Spec& spec) {
    if (*spec.index_fields) t.SetIndexFieldNames(spec.index_fields);
    else t.SetIndexName(spec.index_name);
    if (*spec.master_fields) t.SetMasterSource(master_.get(), spec.master_fields);
  }

  // The rows of a cursor whose order and master are set afresh.
  std::vector<RowMark> ReferenceRows(size_t c) {
    Table& r = *references_[c];
    Configure(r, kSpecs[c]);
    std::vector<RowMark> rows;
    for (r.First(); !r.Eof(); r.Next()) rows.push_back(MarkOf(r, kSpecs[c]));
    return rows;
  }

  // A cursor finds its row again by its bytes after a change, or stays at its
  // place; a moved master brings its details to their first row.
  void Settle(size_t c, bool master_moved, bool had_row) {
    Expected& e = expected_[c];
    const int n = static_cast<int>(e.rows.size());
    if (!master_moved && had_row) {
      auto at = e.current ? std::find(e.rows.begin(), e.rows.end(), *e.current) : e.rows.end();
      int index = at != e.rows.end() ? static_cast<int>(at - e.rows.begin()) : -1;
      if (index < 0 && n > 0) index = std::min(e.index, n - 1);
      Move(e, index);
    } else {
      Move(e, n ? 0 : -1);
      e.bof = true;
      e.eof = n == 0;
    }
  }

  static void Move(Expected& e, int index) {
    e.index = index;
    if (HasRow(e)) e.current = e.rows[index];
  }
  static bool HasRow(const Expected& e) { return e.index >= 0 && e.index < static_cast<int>(e.rows.size()); }

  void Check(size_t c, const std::string& what) {
    Table& t = *cursors_[c];
    const Expected& e = expected_[c];
    const Spec& spec = kSpecs[c];
    SCOPED_TRACE(std::string(spec.name) + " after " + what);
    ASSERT_EQ(t.RecordCount(), static_cast<int64_t>(e.rows.size()));
    EXPECT_EQ(t.Eof(), e.eof || !HasRow(e));
    EXPECT_EQ(t.Bof(), e.bof || !HasRow(e));
    if (HasRow(e)) {
      ASSERT_EQ(MarkOf(t, spec), e.rows[e.index]) << "row " << e.index << " of " << e.rows.size();
    } else {
      EXPECT_TRUE(t.FieldByName(spec.id_field).IsNull());
    }
    ASSERT_EQ(t.State(), CursorState::kBrowse);
  }

  static RowMark MarkOf(Table& t, const Spec& spec) {
    return {t.FieldByName(spec.id_field).AsInteger(), t.FieldByName("N").AsInteger()};
  }

  // What each cursor's master gives it: the value of its master field, or nothing while the master is closed.
  std::vector<std::optional<Value>> MasterValues() {
    std::vector<std::optional<Value>> out;
    for (const Spec& spec : kSpecs)
      out.push_back(*spec.master_fields && master_->Active() ? std::optional<Value>(master_->FieldByName(spec.master_fields).AsVariant())
                                                             : std::nullopt);
    return out;
  }

  std::vector<Value> SearchKey(std::mt19937& rng, const Spec& spec) {
    const Value patient = static_cast<int64_t>(1 + rng() % patients_);
    const Value text = std::string(kTexts[rng() % std::size(kTexts)]);
    const std::string order = *spec.index_fields ? spec.index_fields : spec.index_name;
    const bool text_first = order.rfind("Lib", 0) == 0 || order.rfind("TXT", 0) == 0;
    std::vector<Value> key{text_first ? text : patient};
    if (order != "FK_PAT" && order != "Lib_Desc" && rng() % 2) key.push_back(text_first ? patient : text);
    return key;
  }

  // Ids in no order, so that keyed rows go between others and blocks split.
  int64_t NewId() { return ++next_id_ * 7919 % 100003; }

  std::vector<int64_t> Ids(const char* table) {
    std::vector<int64_t> ids;
    Table& w = *writers_[table];
    const char* id = std::string(table) == "Examen" ? "PK_EXA" : "ID";
    for (w.First(); !w.Eof(); w.Next()) ids.push_back(w.FieldByName(id).AsInteger());
    return ids;
  }

  static bool Seek(Table& w, const char* table, int64_t id) {
    return std::string(table) == "Examen" ? w.FindKey({id}) : w.Locate("ID", id);
  }

  void AddPatient(std::mt19937* rng = nullptr) {
    Table& w = *writers_["Patient"];
    w.Append();
    w.FieldByName("PK_PAT").SetAsInteger(++patients_);
    w.FieldByName("NOM").SetAsString(kTexts[rng ? (*rng)() % std::size(kTexts) : patients_ % std::size(kTexts)]);
    w.Post();
  }

  RowMark AddRow(Table& t, const char* table, std::mt19937* rng = nullptr) {
    const bool exam = std::string(table) == "Examen";
    const int64_t id = NewId();
    const unsigned pick = rng ? (*rng)() : static_cast<unsigned>(id * 7);
    t.Append();
    t.FieldByName(exam ? "PK_EXA" : "ID").SetAsInteger(id);
    t.FieldByName("FK_PAT").SetAsInteger(1 + pick % patients_);
    t.FieldByName(exam ? "LIB" : "TXT").SetAsString(kTexts[pick / 7 % std::size(kTexts)]);
    t.FieldByName("N").SetAsInteger(++stamp_);
    t.Post();
    changed_.push_back(table);
    return {id, stamp_};
  }

  // Changes the current row: its text, often its patient, sometimes its key.
  RowMark EditRow(Table& t, const char* table, std::mt19937& rng) {
    const bool exam = std::string(table) == "Examen";
    const char* id_field = exam ? "PK_EXA" : "ID";
    t.Edit();
    if (rng() % 2) t.FieldByName("FK_PAT").SetAsInteger(1 + rng() % patients_);
    t.FieldByName(exam ? "LIB" : "TXT").SetAsString(kTexts[rng() % std::size(kTexts)]);
    if (rng() % 4 == 0) t.FieldByName(id_field).SetAsInteger(NewId());
    t.FieldByName("N").SetAsInteger(++stamp_);
    const int64_t id = t.FieldByName(id_field).AsInteger();
    t.Post();
    changed_.push_back(table);
    return {id, stamp_};
  }

  std::string dir_;
  Session session_;
  std::map<std::string, std::unique_ptr<Table>> writers_;
  std::unique_ptr<Table> master_;
  std::vector<std::unique_ptr<Table>> cursors_, references_;
  std::vector<Expected> expected_;
  std::vector<std::string> changed_;  // tables changed by the present step
  int64_t patients_ = 0, next_id_ = 0, stamp_ = 0;
  std::string last_ = "opening";
};

void RunModel(unsigned seed) {
  ScratchDir dir;
  ModelRun run(dir.path());
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  std::mt19937 rng(seed);
  const uint64_t searches_before = TableFamily::IndexFileSearches();
  constexpr int kSteps = 900;
  for (int step = 0; step < kSteps; ++step) {
    // The middle third of the run belongs to one unit of work.
    if (step == kSteps / 3) {
      UnitOfWork work(run.session(), run.dir());
      for (; step < 2 * kSteps / 3; ++step) {
        run.Step(rng, run.Last());
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "step " << step;
      }
      work.Commit();
    }
    run.Step(rng, run.Last());
    ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "step " << step;
  }
  EXPECT_GT(TableFamily::IndexFileSearches() - searches_before, 100u);
}

class CursorModel : public ::testing::TestWithParam<unsigned> {};

TEST_P(CursorModel, RandomRunMatchesTheCursorRules) { RunModel(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Seeds, CursorModel, ::testing::Values(1u, 2u, 3u, 4u, 5u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return "Seed" + std::to_string(info.param);
                         });

// The same runs through block caches of one block: every cursor, view and
// comparison reads blocks the cache let go of a moment before.
class CursorModelOneBlockCache : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override { TableFamily::SetDefaultCacheBudget(1); }
  void TearDown() override { TableFamily::SetDefaultCacheBudget(2u << 20); }
};

TEST_P(CursorModelOneBlockCache, RandomRunMatchesTheCursorRules) {
  RunModel(GetParam());
  EXPECT_GT(TableFamily::Counters().spills, 0u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CursorModelOneBlockCache, ::testing::Values(1u, 2u, 3u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return "Seed" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace tabulor::db
