// Damaged copies of generated databases, each read whole through the layer:
// truncated at and inside page boundaries, every byte of each table
// definition and usage map flipped, data pages given another owner, row
// counts set to 0xFFFF. Each variant must read exactly as the undamaged file
// or fail with an error naming the file (and the table); a read that
// succeeds with other content is a silent difference, allowed only where no
// reader can tell (a flipped byte inside a column name).
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>

#include "db/access/error.h"
#include "db/access/isolated_reader.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/fixtures.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;

constexpr size_t kPage = 4096;
constexpr size_t kFirstTableDefinition = 4;  // the writer's page plan: user table definitions from page 4

uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t U16(const std::string& b, size_t at) { return static_cast<uint16_t>(U32(b, at) & 0xffff); }

bool SameTable(const TableData& a, const TableData& b) {
  if (a.name != b.name || a.rows != b.rows || a.columns.size() != b.columns.size()) return false;
  for (size_t i = 0; i < a.columns.size(); ++i) {
    const ColumnInfo &x = a.columns[i], &y = b.columns[i];
    if (x.name != y.name || x.type != y.type || x.size != y.size || x.auto_increment != y.auto_increment) return false;
  }
  return true;
}

// A change of the base file, kept small so that forking the readers stays cheap.
struct Variant {
  std::string what;
  size_t cut = std::string::npos;                 // the file's new length
  std::vector<std::pair<size_t, uint8_t>> bytes;  // bytes XORed in
  std::vector<std::string> tables;                // the tables the damage can reach
  bool detectable = true;
};

std::string Apply(const std::string& base, const Variant& v) {
  std::string out = base.substr(0, v.cut);
  for (const auto& [at, mask] : v.bytes) out[at] = static_cast<char>(out[at] ^ mask);
  return out;
}

void Xor32(Variant& v, const std::string& b, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    v.bytes.emplace_back(at + i, static_cast<uint8_t>((value >> (8 * i)) ^ static_cast<uint8_t>(b[at + i])));
}

struct Counts {
  int variants = 0, clean_errors = 0, exact = 0, silent = 0, undetectable_silent = 0;
};

class DamagedVariants : public ::testing::Test {
 protected:
  struct Base {
    std::string path;
    std::string bytes;
    std::vector<std::string> names;  // in the writer's order: definition page 4 + i
    std::map<std::string, TableData> tables;
  };

  Base MakeBase(const std::string& file, const std::vector<mkmdb::Jet4Table>& tables) {
    Base base;
    base.path = dir_.File(file);
    mkmdb::WriteJet4Database(base.path, tables);
    std::ifstream in(base.path, std::ios::binary);
    base.bytes.assign(std::istreambuf_iterator<char>(in), {});
    for (const auto& t : tables) {
      base.names.push_back(t.name);
      base.tables[t.name] = ReadIsolated(base.path, t.name).table;
      EXPECT_EQ(base.tables[t.name].rows.size(), t.rows.size()) << t.name;
      if (SecondReaderAvailable())
        EXPECT_TRUE(SameDump(LayerDump(base.path, t.name), SecondReaderDump(base.path, t.name))) << t.name;
    }
    return base;
  }

  std::vector<Variant> VariantsOf(const Base& base) {
    std::vector<Variant> variants;
    const std::string& b = base.bytes;
    const size_t pages = b.size() / kPage;
    for (size_t page = 1; page < pages; ++page) {
      for (size_t cut : {page * kPage, page * kPage + 1, page * kPage + kPage / 2}) {
        variants.push_back({"cut at " + std::to_string(cut), cut, {}, base.names});
      }
    }
    for (size_t i = 0; i < base.names.size(); ++i) {
      const std::vector<std::string> one{base.names[i]};
      const size_t definition = (kFirstTableDefinition + i) * kPage;
      const size_t length = U32(b, definition + 8);
      const unsigned columns = U16(b, definition + 0x2d);
      EXPECT_EQ(columns, base.tables.at(base.names[i]).columns.size()) << "page plan of the writer changed";
      // Bytes of the column names' characters: no reader can tell a flip
      // there; one byte of each name is enough to show it.
      std::vector<bool> name_char(length, false), name_tail(length, false);
      size_t at = 0x3f + 12 * U32(b, definition + 0x33) + 25 * size_t{columns};
      for (unsigned c = 0; c < columns && at + 2 <= length; ++c) {
        const size_t n = U16(b, definition + at);
        for (size_t k = at + 2; k < at + 2 + n && k < length; ++k) {
          name_char[k] = true;
          name_tail[k] = k > at + 2;
        }
        at += 2 + n;
      }
      for (size_t k = 0; k < length; ++k) {
        if (name_tail[k]) continue;
        Variant v{base.names[i] + " definition byte " + std::to_string(k), std::string::npos, {{definition + k, 0xff}}, one,
                  !name_char[k]};
        variants.push_back(std::move(v));
      }
      for (size_t map_pointer : {definition + 0x37, definition + 0x3b}) {
        const uint32_t pointer = U32(b, map_pointer);
        const size_t map_page = (pointer >> 8) * kPage;
        const unsigned row = pointer & 0xff;
        const size_t start = U16(b, map_page + 14 + 2 * row) & 0x1fff;
        const size_t end = row == 0 ? kPage : U16(b, map_page + 14 + 2 * (row - 1)) & 0x1fff;
        for (size_t k = start; k < end; ++k) {
          Variant v{base.names[i] + " usage map byte " + std::to_string(k - start), std::string::npos, {{map_page + k, 0xff}}, one};
          variants.push_back(std::move(v));
        }
      }
      Variant count{base.names[i] + " row count 0xFFFF", std::string::npos, {}, one};
      Xor32(count, b, definition + 0x10, 0xffff);
      variants.push_back(std::move(count));
      for (size_t page = 0; page < pages; ++page) {
        if (b[page * kPage] == 1 && U32(b, page * kPage + 4) == definition / kPage) {
          Variant v{base.names[i] + " data page " + std::to_string(page) + " of another owner", std::string::npos, {}, one};
          Xor32(v, b, page * kPage + 4, static_cast<uint32_t>(definition / kPage + 1));
          variants.push_back(std::move(v));
        }
      }
    }
    return variants;
  }

  void Read(const Base& base, const Variant& variant, Counts& counts) {
    ++counts.variants;
    const std::string path = dir_.File("damaged.mdb");
    const std::string bytes = Apply(base.bytes, variant);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ReaderLimits limits;
    limits.time_limit = std::chrono::seconds(10);
    try {
      const FileContents listing = ReadIsolated(path, std::nullopt, limits);
      bool same = listing.table_names.size() == base.names.size();
      for (const std::string& name : variant.tables) same = SameTable(ReadIsolated(path, name, limits).table, base.tables.at(name)) && same;
      if (same) {
        ++counts.exact;
      } else if (variant.detectable) {
        ++counts.silent;
        ADD_FAILURE() << base.path << ": " << variant.what << " read without error, with other content";
      } else {
        ++counts.undetectable_silent;
      }
    } catch (const AccessError& e) {
      ++counts.clean_errors;
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }

  ScratchDir dir_;
};

TEST_F(DamagedVariants, EveryReadIsExactOrAnError) {
  mkmdb::BalantisOptions options;
  options.patients = 30;
  const std::vector<Base> bases = {MakeBase("Balantis2000.mdb", mkmdb::MakeBalantis(options).tables),
                                   MakeBase("pedora.mdb", {mkmdb::MakePedoraPatients(40, 3)})};
  Counts counts;
  for (const Base& base : bases)
    for (const Variant& variant : VariantsOf(base)) Read(base, variant, counts);
  std::cout << counts.variants << " damaged variants: " << counts.clean_errors << " clean errors, " << counts.exact
            << " exact reads, " << counts.silent << " silent differences (" << counts.undetectable_silent
            << " more inside column names, which no reader can tell)\n";
  EXPECT_EQ(counts.silent, 0);
  EXPECT_EQ(counts.clean_errors + counts.exact + counts.silent + counts.undetectable_silent, counts.variants);
  EXPECT_GT(counts.clean_errors, counts.variants / 3);
}

}  // namespace
}  // namespace tabulor::db::access
