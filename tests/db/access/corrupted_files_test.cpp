// Damaged and hostile .mdb files: truncated, or with bytes changed. Reading
// them never crashes or hangs the program; a failure is an AccessError with
// a message.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <fstream>
#include <random>

#include "common/samples.h"
#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/isolated_reader.h"
#include "db/access/table.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/fixtures.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Outcome {
  int read = 0;    // opened and every table read (possibly garbage)
  int failed = 0;  // an AccessError somewhere
  int crashed_reader = 0;
};

// Opens the file and every table it lists, as the import wizards would.
void ReadEverything(const std::string& path, Outcome& outcome) {
  Connection connection;
  ReaderLimits limits;
  limits.time_limit = std::chrono::seconds(10);
  limits.memory_limit_bytes = size_t{512} << 20;
  connection.SetReaderLimits(limits);
  connection.SetConnectionString("Data Source=" + path);
  try {
    connection.Open();
    for (const std::string& name : connection.TableNames()) {
      Table table(connection);
      table.SetTableName(name);
      table.Open();
      for (table.First(); !table.Eof(); table.Next()) {
        for (const auto& column : table.Columns()) table.FieldByName(column.name).AsString();
      }
    }
    ++outcome.read;
  } catch (const AccessError& e) {
    const std::string message = e.what();
    EXPECT_FALSE(message.empty());
    if (message.find("s'est arrêté") != std::string::npos) ++outcome.crashed_reader;
    ++outcome.failed;
  }
}

class CorruptedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    mkmdb::BalantisOptions options;
    options.patients = 30;
    // Without the real samples the generated files stand alone.
    if (samples::Present("access"))
      for (const char* sample : {"testV1997.mdb", "compIndexTestV2003.mdb", "overflowTestV2003.mdb", "DateTestDatabase.mdb"})
        bases_.push_back(SamplePath(sample));
    bases_.push_back(dir_.File("Balantis2000.mdb"));
    bases_.push_back(dir_.File("pedora.mdb"));
    mkmdb::WriteJet4Database(dir_.File("Balantis2000.mdb"), mkmdb::MakeBalantis(options).tables);
    mkmdb::WritePedora(dir_.File("pedora.mdb"), 40, 3);
  }
  ScratchDir dir_;
  std::vector<std::string> bases_;
};

TEST_F(CorruptedFiles, TruncatedFilesFailCleanly) {
  Outcome outcome;
  for (const std::string& base : bases_) {
    const std::string bytes = ReadFile(base);
    for (size_t length : {size_t{0}, size_t{1}, size_t{20}, size_t{0x98}, size_t{2047}, size_t{2048}, size_t{4095},
                          size_t{4096}, size_t{3 * 4096 + 10}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1}) {
      SCOPED_TRACE(base + " cut at " + std::to_string(length));
      const std::string path = dir_.File("cut.mdb");
      WriteFile(path, bytes.substr(0, std::min(length, bytes.size())));
      ReadEverything(path, outcome);
    }
  }
  EXPECT_GE(outcome.failed, 6 * static_cast<int>(bases_.size()));  // at least the files cut inside their first pages
}

TEST_F(CorruptedFiles, ChangedBytesNeverCrashTheProgram) {
  std::mt19937 random(20240601);
  Outcome outcome;
  int variants = 0;
  const auto started = std::chrono::steady_clock::now();
  for (const std::string& base : bases_) {
    const std::string bytes = ReadFile(base);
    const size_t page = bytes[0x14] == 0 ? 2048 : 4096;
    const size_t pages = std::min<size_t>(bytes.size() / page, 40);
    for (int v = 0; v < 50; ++v, ++variants) {
      std::string damaged = bytes;
      // Mostly the catalog, table definitions, usage maps and first data pages.
      const int changes = 1 + static_cast<int>(random() % 8);
      for (int c = 0; c < changes; ++c) {
        const size_t at = page * (1 + random() % (pages - 1)) + random() % page;
        damaged[at] = static_cast<char>(v % 3 == 0 ? 0xff : random() & 0xff);
      }
      SCOPED_TRACE(base + " variant " + std::to_string(v));
      const std::string path = dir_.File("damaged.mdb");
      WriteFile(path, damaged);
      ReadEverything(path, outcome);
    }
  }
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(outcome.read + outcome.failed, variants);
  EXPECT_GT(outcome.failed, 0);
  std::cout << variants << " damaged files: " << outcome.read << " read, " << outcome.failed << " refused ("
            << outcome.crashed_reader << " stopped the isolated reader) in " << seconds << " s\n";
}

TEST_F(CorruptedFiles, AReaderCrashBecomesAnError) {
  // A usage-map row of length 0 makes libmdb 1.0.0 dereference NULL
  // (CVE-2021-45927): the isolated reader dies, the program gets an error.
  std::string bytes = ReadFile(dir_.File("pedora.mdb"));
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8); };
  const size_t tdef = 4 * 4096;  // the first user table's definition
  const uint32_t owned_map = u16(tdef + 0x37) | static_cast<uint32_t>(u16(tdef + 0x39)) << 16;
  const size_t map_page = (owned_map >> 8) * 4096;
  const unsigned row = owned_map & 0xff;
  ASSERT_GT(row, 0u);
  const uint16_t previous_start = u16(map_page + 14 + 2 * (row - 1));
  bytes[map_page + 14 + 2 * row] = static_cast<char>(previous_start & 0xff);
  bytes[map_page + 14 + 2 * row + 1] = static_cast<char>(previous_start >> 8);
  WriteFile(dir_.File("hostile.mdb"), bytes);

  int status = 0;
  RunProgram({"mdb-export", dir_.File("hostile.mdb"), "Patients"}, &status);
  EXPECT_EQ(status, 128 + SIGSEGV) << "libmdb no longer crashes on this file";

  Connection connection;
  connection.SetConnectionString("Data Source=" + dir_.File("hostile.mdb"));
  connection.Open();
  Table patients(connection);
  patients.SetTableName("Patients");
  try {
    patients.Open();
    FAIL() << "the damaged table was read";
  } catch (const AccessError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("endommagé"), std::string::npos) << message;
    EXPECT_NE(message.find(dir_.File("hostile.mdb")), std::string::npos) << message;
  }
  EXPECT_FALSE(patients.IsOpen());
}

TEST_F(CorruptedFiles, APropertyRecordOfLengthZeroIsRefusedBeforeLibmdbLoopsOnIt) {
  TABULOR_REQUIRE_SAMPLES("access");
  // libmdb 1.0.0 parses a catalog property record of length 0 over and over
  // (mdb-tables never ends on this file); the reader checks the blobs first
  // and refuses the catalog at once, well within the time limit.
  std::string bytes = ReadFile(SamplePath("test2V2003.mdb"));
  const size_t blob = bytes.find(std::string("MR2\0", 4));
  ASSERT_NE(blob, std::string::npos);
  bytes.replace(blob + 4, 4, std::string(4, '\0'));
  const std::string path = dir_.File("looping.mdb");
  WriteFile(path, bytes);
  ReaderLimits limits;
  limits.time_limit = std::chrono::seconds(20);
  try {
    ReadIsolated(path, std::nullopt, limits);
    FAIL() << "the damaged catalog was read";
  } catch (const AccessError& e) {
    EXPECT_EQ(e.what(), "Lecture de " + path + " impossible : le catalogue de la base de données " + path +
                            " est endommagé : propriétés d'un objet illisibles");
  }
}

}  // namespace
}  // namespace tabulor::db::access
