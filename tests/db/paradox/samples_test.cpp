// Every sample table written by the original engine reads with the values
// pxlib reads, verifies, and copies through the write path into an equal table.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "db/paradox/engine.h"
#include "pxlib_reader.h"
#include "common/samples.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

bool HasBlobFile(const std::string& db_path) {
  fs::path p(db_path);
  std::string stem = p.stem().string();
  for (const auto& e : fs::directory_iterator(p.parent_path())) {
    std::string name = e.path().filename().string();
    if (name.size() == stem.size() + 3 && strncasecmp(name.c_str(), (stem + ".mb").c_str(), name.size()) == 0) return true;
  }
  return false;
}

// The dump without field names (pxlib gives them in the table's code page).
std::string WithoutNames(const std::string& dump) {
  std::string first = dump.substr(0, dump.find('\n'));
  std::string rest = dump.substr(first.size());
  std::string out = "#fields";
  std::istringstream cols(first.substr(7));
  std::string col;
  while (std::getline(cols, col, '\t')) {
    if (col.empty()) continue;
    out += "\t:" + col.substr(col.find(':') + 1);
  }
  return out + rest;
}

std::string Name(const std::string& path) { return fs::path(path).filename().string(); }
std::string Dir(const std::string& path) { return fs::path(path).parent_path().string(); }
// The one sample without a code page: its language driver is HP Roman-8.
std::string RawCharset(const std::string& path) { return Name(path) == "ROMAN8.db" ? "HP-ROMAN8" : ""; }

// A keyed sample whose .PX is not part of the sample set is damaged, and verify says which file is missing.
TEST(Samples, EveryTableVerifies) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  int without_primary_index = 0;
  for (const std::string& path : testing::AllSampleTables()) {
    auto problems = testing::VerifyTable(Dir(path), Name(path));
    fs::path index = path;
    index.replace_extension(".PX");
    const bool index_missing = problems.size() == 1 && !fs::exists(index) &&
                               problems.front().find(index.filename().string() + " is missing") != std::string::npos;
    without_primary_index += index_missing;
    if (!index_missing) EXPECT_TRUE(problems.empty()) << path << ": " << problems.front();
  }
  EXPECT_LE(without_primary_index, 1);  // STATES.DB of the driver's sample areas
}

TEST(Samples, TablesWithoutBlobFileReadAsPxlibReadsThem) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  int compared = 0;
  for (const std::string& path : testing::AllSampleTables()) {
    if (HasBlobFile(path)) continue;
    Session session;
    std::string ours = WithoutNames(testing::DumpTable(session, Dir(path), Name(path)));
    EXPECT_EQ(testing::FirstDifference(ours, testing::PxlibDump(path, RawCharset(path))), "") << path;
    ++compared;
  }
  EXPECT_GE(compared, 40);
}

TEST(Samples, CopyGivesAnEqualTable) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  for (const std::string& path : testing::AllSampleTables()) {
    testing::ScratchDir out;
    Session session;
    Table src(session, Dir(path), Name(path));
    src.SetReadOnly(true);
    src.Open();
    TableDef def = src.Definition();
    def.indexes.clear();
    def.file_version = std::max(def.file_version, 9);
    CreateTable(session, out.path(), "copy", def);
    Table dst(session, out.path(), "copy");
    dst.Open();
    for (src.First(); !src.Eof(); src.Next()) {
      dst.Append();
      dst.CopyRecordFrom(src, {.match = RecordCopy::Match::kByPosition, .keep_autoinc = true});
      dst.Post();
    }
    dst.Close();
    src.Close();
    EXPECT_EQ(testing::FirstDifference(testing::DumpTable(session, out.path(), "copy"),
                                       testing::DumpTable(session, Dir(path), Name(path))),
              "")
        << path;
    auto problems = testing::VerifyTable(out.path(), "copy");
    EXPECT_TRUE(problems.empty()) << path << ": " << problems.front();
    // (pxlib guesses a code page for a table that has none, so that one is left out.)
    if (!fs::exists(out / "copy.MB") && RawCharset(path).empty()) {
      EXPECT_EQ(testing::FirstDifference(testing::PxlibDump(out / "copy.DB"),
                                         WithoutNames(testing::DumpTable(session, out.path(), "copy"))),
                "")
          << path;
    }
  }
}

}  // namespace
}  // namespace tabulor::db

namespace tabulor::db {
namespace {

// The blobs of the samples checked against their own structure: every picture
// is a whole BMP file (its header gives its length), every memo is text.
TEST(SampleBlobs, PicturesAreWholeBitmapsAndMemosAreText) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  int pictures = 0, memos = 0;
  for (const std::string& path : testing::AllSampleTables()) {
    Session session;
    Table t(session, Dir(path), Name(path));
    t.SetReadOnly(true);
    t.Open();
    for (t.First(); !t.Eof(); t.Next()) {
      for (int i = 0; i < t.FieldCount(); ++i) {
        Field& f = t.FieldAt(i);
        if (f.IsNull()) continue;
        if (f.Type() == FieldType::kGraphic) {
          Blob b = f.AsBlob();
          ASSERT_GE(b.size(), 14u) << path;
          EXPECT_EQ(b[0], 'B') << path;
          EXPECT_EQ(b[1], 'M') << path;
          uint32_t bmp_size = b[2] | (b[3] << 8) | (b[4] << 16) | (static_cast<uint32_t>(b[5]) << 24);
          EXPECT_EQ(bmp_size, b.size()) << path;
          EXPECT_EQ(f.BlobSize(), b.size() + 8) << path;  // the stored length counts the 8-byte prefix
          ++pictures;
        } else if (f.Type() == FieldType::kMemo) {
          std::string text = f.AsString();
          EXPECT_EQ(text.size() > 0, true) << path;
          EXPECT_EQ(text.find('\0'), std::string::npos) << path;
          EXPECT_EQ(f.AsBlob().size(), f.BlobSize()) << path;
          ++memos;
        }
      }
    }
  }
  EXPECT_GE(pictures, 28);
  EXPECT_GE(memos, 28);
}

}  // namespace
}  // namespace tabulor::db
