// The compression run over Data.DB tables made for the purpose and over
// generated practice databases.
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "compress/compress_run.h"
#include "compress/threshold.h"
#include "data_table.h"
#include "db/schema/generator/generator.h"
#include "recording_events.h"
#include "shell/log_file.h"

namespace tabulor::compress::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int64_t kDefaultThreshold = 20000;

std::vector<std::string> LogLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(all.substr(start, end - start));
  EXPECT_EQ(start, all.size()) << "every log line ends in CR LF";
  return lines;
}

// The text of a log line after its "dd/mm/yyyy hh:nn:ss : " prefix.
std::string LogText(const std::string& line) {
  static const std::regex prefix(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d : )");
  std::smatch m;
  if (!std::regex_search(line, m, prefix)) return "<no date prefix> " + line;
  return m.suffix();
}

class CompressRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.Dir() + "DATA";
    std::filesystem::create_directories(dir_);
    session_.AddAlias("KORVANE", dir_);
  }
  std::vector<int64_t> Make(const std::vector<NewRow>& rows, int version = 280) {
    return CreateDataTable(session_, dir_, rows, version);
  }
  // One run on a run object of the test's own.
  void Run(std::string_view threshold = "200", RunOptions options = {}) {
    if (!run_) {
      log_ = std::make_unique<shell::LogFile>(LogPath());
      run_ = std::make_unique<CompressRun>(session_, log_.get(), events_, options);
    }
    ASSERT_TRUE(run_->Kompress(threshold));
  }
  std::string LogPath() const { return tmp_.Dir() + "COMPRESS.log"; }
  TableState State() { return ReadDataTable(session_, dir_); }

  TempDir tmp_;
  std::string dir_;
  db::Session session_{db::Env::Default()};
  RecordingEvents events_;
  std::unique_ptr<shell::LogFile> log_;
  std::unique_ptr<CompressRun> run_;
};

TEST_F(CompressRunTest, TakesRowsStrictlyAboveTheThresholdThatAreRaw) {
  const auto ids = Make({
      {100, 200, 0, Acquisition(100, 200, 1)},    // 20000: equal, left
      {101, 200, 0, Acquisition(101, 200, 2)},    // 20200: taken
      {100, 199, 0, Acquisition(100, 199, 3)},    // 19900: left
      {20001, 1, 0, Acquisition(20001, 1, 4)},    // one unit above: taken
      {150, 200, 1, Deflated(Acquisition(150, 200, 5))},  // already compressed
      {150, 200, std::nullopt, Acquisition(150, 200, 6)}, // flag never set
  });
  const TableState before = State();
  Run();
  const TableState after = State();
  EXPECT_THAT(CheckRun(before, after, kDefaultThreshold, true), IsEmpty());
  EXPECT_EQ(after.at(ids[1]).zipped, 1);
  EXPECT_EQ(after.at(ids[3]).zipped, 1);
  for (int i : {0, 2, 4, 5}) EXPECT_EQ(after.at(ids[i]).data, before.at(ids[i]).data) << "row " << i;
  EXPECT_EQ(after.at(ids[5]).zipped, std::nullopt);
  EXPECT_EQ(run_->Summary().compressed, 2);
  EXPECT_EQ(run_->Summary().rows, 6);
  // A threshold of 199 takes the 100 × 200 row too, 198 the 100 × 199 one as well.
  Run("199");
  EXPECT_EQ(State().at(ids[0]).zipped, 1);
  EXPECT_EQ(State().at(ids[2]).zipped, 0);
  Run("198");
  EXPECT_EQ(State().at(ids[2]).zipped, 1);
}

TEST_F(CompressRunTest, StoresExactlyTheStreamOfZlibAtTheDefaultLevel) {
  const db::Blob raw = Acquisition(400, 256, 11);
  const auto ids = Make({{400, 256, 0, raw}});
  Run();
  const RowState row = State().at(ids[0]);
  // compress2 makes one stream with level 6, a 15-bit window, memory level 8
  // and the default strategy: the stored bytes must be those, nothing around them.
  EXPECT_EQ(row.data, Deflated(raw));
  ASSERT_GE(row.data.size(), 6u);
  EXPECT_EQ(row.data[0], 0x78);
  EXPECT_EQ(row.data[1], 0x9C);
  EXPECT_EQ(InflateWhole(row.data), raw);
  EXPECT_EQ(run_->Summary().stored_bytes, row.data.size());
}

TEST_F(CompressRunTest, StoresTheStreamEvenWhenLargerThanTheRawBytes) {
  db::Blob noise(30000);
  std::mt19937 gen(5);
  for (auto& b : noise) b = static_cast<uint8_t>(gen());
  const auto ids = Make({{150, 200, 0, noise}});
  Run();
  const RowState row = State().at(ids[0]);
  EXPECT_EQ(row.zipped, 1);
  EXPECT_GT(row.data.size(), noise.size());
  EXPECT_EQ(InflateWhole(row.data), noise);
}

TEST_F(CompressRunTest, ReportsEmptyBlobsAndGoesOn) {
  const auto ids = Make({
      {150, 200, 0, {}},
      {150, 200, 0, Acquisition(150, 200, 1)},
      {0, 200, 0, {}},  // not taken: no message
      {120, 200, 0, {}},
  });
  Run();
  const std::string a = std::to_string(ids[0]), d = std::to_string(ids[3]);
  EXPECT_THAT(events_.report.Lines(),
              ElementsAre("- Blob initial vide", "", "*" + a + "- Blob initial vide", "*" + d + "- Blob initial vide"));
  EXPECT_EQ(State().at(ids[1]).zipped, 1);
  EXPECT_EQ(State().at(ids[0]).zipped, 0);
  EXPECT_EQ(run_->Summary().empty_blobs, 2);
  // The log tells the same lines, with the date and time.
  std::vector<std::string> texts;
  for (const std::string& line : LogLines(LogPath())) texts.push_back(LogText(line));
  EXPECT_THAT(texts, ElementsAre("- Blob initial vide", "*" + a + "- Blob initial vide", "*" + d + "- Blob initial vide"));
}

TEST_F(CompressRunTest, SecondRunChangesNothingAndRewritesTheReportFromLineThree) {
  const auto ids = Make({
      {150, 200, 0, {}},
      {300, 200, 0, Acquisition(300, 200, 1)},
      {180, 256, 0, Acquisition(180, 256, 2)},
  });
  Run();
  const TableState first = State();
  EXPECT_EQ(events_.progress, 3);
  EXPECT_EQ(events_.progress_max, 3);
  const std::string last = std::to_string(ids[2]);
  EXPECT_EQ(run_->IdAcq(), last);
  events_.report.Put(4, "a line of an older report");
  Run();
  EXPECT_EQ(State().size(), first.size());
  for (const auto& [id, row] : first) {
    EXPECT_EQ(State().at(id).data, row.data);
    EXPECT_EQ(State().at(id).zipped, row.zipped);
  }
  EXPECT_EQ(run_->Summary().compressed, 0);
  // The start line quotes the acquisition the previous run ended on; the
  // message replaces line 3; older lines beyond stay.
  EXPECT_THAT(events_.report.Lines(), ElementsAre(last + "- Blob initial vide", "",
                                                  "*" + std::to_string(ids[0]) + "- Blob initial vide",
                                                  "a line of an older report"));
  EXPECT_EQ(events_.finished, 2);
}

TEST_F(CompressRunTest, AppendsToAnExistingLogAfterABlankLine) {
  Make({{150, 200, 0, {}}});
  { std::ofstream(LogPath(), std::ios::binary) << "old\r\n"; }
  Run();
  const auto lines = LogLines(LogPath());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "old");
  EXPECT_EQ(lines[1], " ");
  EXPECT_EQ(LogText(lines[2]), "- Blob initial vide");
}

TEST_F(CompressRunTest, ThresholdThatIsNotAnIntegerStopsBeforeAnyRow) {
  Make({{300, 200, 0, Acquisition(300, 200, 1)}});
  const TableState before = State();
  for (const char* text : {"abc", "", "20.5", "2e3", "200 kb", "99999999999", "0x10"}) {
    log_ = std::make_unique<shell::LogFile>(LogPath());
    CompressRun run(session_, log_.get(), events_);
    try {
      run.Kompress(text);
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const ThresholdError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("« ") + text + " »"), std::string::npos) << e.what();
    }
    EXPECT_EQ(run.Summary().rows, 0);
    EXPECT_FALSE(run.Running());
  }
  EXPECT_EQ(State().begin()->second.data, before.begin()->second.data);
  EXPECT_EQ(events_.progress_max, -1) << "the rows were not walked";
}

TEST(ThresholdTest, IntegersWithSignAndBlanksTimesOneHundred) {
  EXPECT_EQ(ParseThreshold("200"), 20000);
  EXPECT_EQ(ParseThreshold(" 200 "), 20000);
  EXPECT_EQ(ParseThreshold("+7"), 700);
  EXPECT_EQ(ParseThreshold("-3"), -300);
  EXPECT_EQ(ParseThreshold("2147483647"), int64_t{2147483647} * 100);
  EXPECT_THROW(ParseThreshold("2147483648"), ThresholdError);
  EXPECT_THROW(ParseThreshold("+"), ThresholdError);
  EXPECT_THROW(ParseThreshold("- 3"), ThresholdError);
}

TEST_F(CompressRunTest, TableWithoutZippedFieldIsToldAndLeftAlone) {
  Make({{300, 200, 0, Acquisition(300, 200, 1)}}, 100);
  const TableState before = State();
  Run();
  EXPECT_THAT(events_.messages, ElementsAre("Champ Zipped non trouvé"));
  EXPECT_EQ(State().begin()->second.data, before.begin()->second.data);
  EXPECT_EQ(events_.finished, 0);
  EXPECT_THAT(events_.report.Lines(), ElementsAre("- Blob initial vide"));
}

TEST_F(CompressRunTest, OpensDataThroughTheDefaultAliasOnly) {
  TempDir other;
  const std::string other_dir = other.Dir() + "DATA";
  std::filesystem::create_directories(other_dir);
  CreateDataTable(session_, other_dir, {{300, 200, 0, Acquisition(300, 200, 1)}});
  session_.AddAlias("CABINET", other_dir);
  const auto ids = Make({{300, 200, 0, Acquisition(300, 200, 2)}});
  Run();
  EXPECT_EQ(State().at(ids[0]).zipped, 1);
  EXPECT_EQ(ReadDataTable(session_, other_dir).begin()->second.zipped, 0);

  session_.DeleteAlias("KORVANE");
  EXPECT_THROW(run_->Kompress("200"), db::EngineError);
  EXPECT_FALSE(run_->Running()) << "a failed run leaves the way open for the next";
}

TEST_F(CompressRunTest, ARunUnderWayRefusesASecondOne) {
  Make({{300, 200, 0, Acquisition(300, 200, 1)}, {300, 200, 0, Acquisition(300, 200, 2)}});
  Run("200");
  int refused = 0;
  events_.on_pending_events = [&] { refused += run_->Kompress("200") ? 0 : 1; };
  Run("1");
  EXPECT_EQ(refused, 3) << "after the start line and before each row, a click let through is refused";
  EXPECT_FALSE(run_->Running());
}

TEST_F(CompressRunTest, ReadOnlyTableIsToldOnTheStartLineAndStopsAtTheFirstChange) {
  const auto ids = Make({{150, 200, 0, {}}, {300, 200, 0, Acquisition(300, 200, 1)}});
  const TableState before = State();
  // What the run must do on a directory it cannot write to; the problems found.
  auto run_read_only = [&] {
    std::string problems;
    RecordingEvents events;
    CompressRun run(session_, nullptr, events);
    try {
      run.Kompress("200");
      problems += "the first change did not fail; ";
    } catch (const db::EngineError&) {
    }
    const auto& lines = events.report.Lines();
    if (lines.size() != 3 || lines[0] != "CanModify = False" || lines[2] != "*" + std::to_string(ids[0]) + "- Blob initial vide")
      problems += "report: " + (lines.empty() ? std::string("<empty>") : lines[0]) + "; ";
    return problems;
  };
  if (::geteuid() == 0) {
    // Permissions do not bind root: the run goes in a child that is nobody.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      const std::string problems = run_read_only();
      if (!problems.empty()) std::fprintf(stderr, "%s\n", problems.c_str());
      ::_exit(problems.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become nobody";
    EXPECT_EQ(WEXITSTATUS(status), 0);
  } else {
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    EXPECT_EQ(run_read_only(), "");
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  }
  EXPECT_EQ(State().at(ids[1]).data, before.at(ids[1]).data);
}

// The same table, report and log whatever the number of threads and the size of the window.
TEST_F(CompressRunTest, ParallelRunMatchesARowByRowRun) {
  std::vector<NewRow> rows;
  for (int i = 0; i < 60; ++i) {
    const int images = 60 + (i * 37) % 200, dim = i % 3 == 0 ? 256 : 200;
    if (i % 11 == 5) rows.push_back({images, dim, 0, {}});
    else rows.push_back({images, dim, i % 13 == 4 ? std::optional<int>() : std::optional<int>(0), Acquisition(images, dim, i)});
  }
  Make(rows);
  const std::filesystem::path data_copy = tmp_.Path() / "copy";
  std::filesystem::copy(dir_, data_copy);

  RunOptions serial;
  serial.workers = 1;
  serial.max_blobs_in_flight = 1;
  serial.commit.rows = 1;
  Run("200", serial);
  const TableState serial_state = State();
  const auto serial_report = events_.report.Lines();

  db::Session other{db::Env::Default()};
  other.AddAlias("KORVANE", data_copy.string());
  RecordingEvents parallel_events;
  RunOptions parallel;
  parallel.workers = 4;
  parallel.commit.rows = 7;
  CompressRun run(other, nullptr, parallel_events, parallel);
  ASSERT_TRUE(run.Kompress("200"));
  const TableState parallel_state = ReadDataTable(other, data_copy.string());
  EXPECT_EQ(parallel_events.report.Lines(), serial_report);
  EXPECT_EQ(parallel_events.acquisitions, events_.acquisitions);
  ASSERT_EQ(parallel_state.size(), serial_state.size());
  for (const auto& [id, row] : serial_state) {
    EXPECT_EQ(parallel_state.at(id).data, row.data) << id;
    EXPECT_EQ(parallel_state.at(id).zipped, row.zipped) << id;
  }
  EXPECT_GT(run.Summary().compressed, 20);
}

TEST(GeneratedDatabaseTest, CompressesEveryLargeRawAcquisitionOnceAndOnlyThose) {
  TempDir tmp;
  schema::GeneratorOptions options;
  options.patients = 25;
  options.seed = 8;
  db::Session session{db::Env::Default()};
  const auto counts = schema::GeneratePracticeDatabase(tmp.Path().string(), options, session);
  const std::string dir = schema::DataDirectory(tmp.Path().string());
  session.AddAlias("KORVANE", dir);
  const TableState before = ReadDataTable(session, dir);
  ASSERT_EQ(static_cast<int64_t>(before.size()), counts.data_rows);
  int64_t expected = 0, empty = 0;
  for (const auto& [id, row] : before)
    if (Taken(row, kDefaultThreshold)) (row.data.empty() ? empty : expected) += 1;
  ASSERT_GT(expected, 5) << "the generated database has rows to compress";

  RecordingEvents events;
  CompressRun run(session, nullptr, events);
  ASSERT_TRUE(run.Kompress("200"));
  const TableState after = ReadDataTable(session, dir);
  EXPECT_THAT(CheckRun(before, after, kDefaultThreshold, true), IsEmpty());
  EXPECT_EQ(run.Summary().compressed, expected);
  EXPECT_EQ(run.Summary().empty_blobs, empty);
  EXPECT_EQ(static_cast<int64_t>(events.report.Lines().size()), empty == 0 ? 1 : 2 + empty);
  EXPECT_EQ(events.acquisitions.back(), std::to_string(before.rbegin()->first));

  ASSERT_TRUE(run.Kompress("200"));
  EXPECT_EQ(run.Summary().compressed, 0);
  const TableState again = ReadDataTable(session, dir);
  for (const auto& [id, row] : after) EXPECT_EQ(again.at(id).data, row.data) << id;
}

}  // namespace
}  // namespace tabulor::compress::testing
