// Damaged files give an EngineError naming the table, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "db/paradox/engine.h"
#include "common/samples.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

void Patch(const std::string& path, std::streamoff at, std::initializer_list<uint8_t> bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(at);
  for (uint8_t b : bytes) f.put(static_cast<char>(b));
}

// Opens and walks the table, reading every field.
void ReadAll(const std::string& dir, const std::string& table) {
  Session session;
  Table t(session, dir, table);
  t.SetReadOnly(true);
  t.Open();
  for (t.First(); !t.Eof(); t.Next())
    for (int i = 0; i < t.FieldCount(); ++i) (void)t.FieldAt(i).AsBlob();
}

struct Damage {
  const char* what;
  const char* table;
  std::function<void(const testing::ScratchDir&)> apply;
};

TEST(Malformed, DamagedTablesRaiseErrorsNamingTheTable) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  const std::vector<Damage> damages = {
      {"header shorter than its data part", "CUSTOMER.DB", [](auto& d) { Patch(d / "CUSTOMER.DB", 2, {89, 0}); }},
      {"no field", "CONTACTS.DB", [](auto& d) { Patch(d / "CONTACTS.DB", 0x21, {0, 0}); }},
      {"unknown field type", "CONTACTS.DB", [](auto& d) { Patch(d / "CONTACTS.DB", 0x78, {0x42}); }},
      {"record size unlike the fields", "CONTACTS.DB", [](auto& d) { Patch(d / "CONTACTS.DB", 0, {0x10, 0}); }},
      {"block chain that loops", "ORDERS.DB", [](auto& d) { Patch(d / "ORDERS.DB", 2048, {1, 0}); }},
      {"block count past the file", "ORDERS.DB", [](auto& d) { Patch(d / "ORDERS.DB", 0x0C, {0xFF, 0x7F}); }},
      {"block size zero", "ORDERS.DB", [](auto& d) { Patch(d / "ORDERS.DB", 0x05, {0}); }},
      {"blob beyond the blob file", "HERCULES.DB", [](auto& d) { fs::resize_file(d / "HERCULES.MB", 4096); }},
      {"blob file without its header", "CUSTOMER.DB", [](auto& d) { Patch(d / "CUSTOMER.MB", 0, {7}); }},
  };
  for (const Damage& damage : damages) {
    testing::ScratchDir dir;
    testing::CopySampleFolder("paradoxdriver/db", dir.path());
    damage.apply(dir);
    try {
      ReadAll(dir.path(), damage.table);
      ADD_FAILURE() << damage.what << ": no error";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(damage.table), std::string::npos) << damage.what << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace tabulor::db
