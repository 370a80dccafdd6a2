// `tabulor-db mdb-dump FILE TABLE`.
#include <gtest/gtest.h>

#include <sstream>

#include "db/access/mdb_dump.h"
#include "common/samples.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;
using mkmdb::Jet4Table;
using mkmdb::Jet4Type;
using mkmdb::Jet4Value;

int Dump(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::ostringstream o, e;
  const int status = RunMdbDump(args, o, e);
  out = o.str();
  err = e.str();
  return status;
}

TEST(MdbDump, PrintsColumnsThenOneEscapedLinePerRow) {
  ScratchDir dir;
  Jet4Table t{"Patients",
              {{"Id", Jet4Type::kAutoIncrement},
               {"Nom", Jet4Type::kText, 30},
               {"Naissance", Jet4Type::kDateTime},
               {"Poids", Jet4Type::kDouble},
               {"Notes", Jet4Type::kMemo}},
              {}};
  t.rows = {{Jet4Value{}, std::string("Lefèvre"), db::DateTime{1974, 9, 21, 8, 5, 0, 0}, 62.5,
             std::string("a\tb\\c\r\nd")},
            {Jet4Value{}, std::string(), Jet4Value{}, Jet4Value{}, Jet4Value{}}};
  mkmdb::WriteJet4Database(dir.File("p.mdb"), {t});
  std::string out, err;
  ASSERT_EQ(Dump({dir.File("p.mdb"), "Patients"}, out, err), 0) << err;
  EXPECT_EQ(out,
            "#fields\tId:4:4\tNom:10:60\tNaissance:8:8\tPoids:7:8\tNotes:12:0\n"
            "1\tLefèvre\t1974-09-21 08:05:00\t62.5\ta\\tb\\\\c\\r\\nd\n"
            "2\t\t\\N\t\\N\t\\N\n");
  EXPECT_TRUE(err.empty());
}

TEST(MdbDump, BlobsAsLengthAndChecksumOrHex) {
  TABULOR_REQUIRE_SAMPLES("access");
  const std::string file = SamplePath("nwind.mdb");
  std::string out, err;
  ASSERT_EQ(Dump({file, "Categories"}, out, err), 0) << err;
  EXPECT_NE(out.find("\tblob:"), std::string::npos);
  ASSERT_EQ(Dump({file, "Categories", "--blobs", "hex"}, out, err), 0) << err;
  EXPECT_EQ(out.find("\tblob:"), std::string::npos);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 9);
}

TEST(MdbDump, UsageAndReadErrors) {
  TABULOR_REQUIRE_SAMPLES("access");
  std::string out, err;
  EXPECT_EQ(Dump({}, out, err), 2);
  EXPECT_NE(err.find("usage"), std::string::npos);
  EXPECT_EQ(Dump({"a.mdb"}, out, err), 2);
  EXPECT_EQ(Dump({"a.mdb", "T", "--bad"}, out, err), 2);
  EXPECT_EQ(Dump({SamplePath("testV1997.mdb"), "Nope"}, out, err), 1);
  EXPECT_NE(err.find("Nope"), std::string::npos) << err;
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Dump({"/nonexistent/x.mdb", "T"}, out, err), 1);
  EXPECT_NE(err.find("introuvable"), std::string::npos) << err;
}

}  // namespace
}  // namespace tabulor::db::access
