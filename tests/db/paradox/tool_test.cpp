// build/tabulor-db as a user runs it: info, dump, verify (also of a damaged
// table and of a directory) and copy, with their exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/samples.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace tabulor::db {
namespace {

using testing::ToolRun;

ToolRun Tool(const std::string& args) { return testing::RunTool(args); }

TEST(Tool, InfoDumpVerifyAndCopyOfASample) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  testing::ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  ToolRun info = Tool("info " + dir / "customer.db");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("records         20"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("index           City (City)"), std::string::npos) << info.out;

  ToolRun dump = Tool("dump " + dir / "CONTACTS");
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 56);
  EXPECT_EQ(dump.out.rfind("#fields\tLast Name:1:10\tFirst Name:1:20\tCompany:1:30\tPhone:1:15\n", 0), 0u) << dump.out;

  ToolRun copy = Tool("copy " + dir / "CUSTOMER.DB " + dir / "Copied.DB");
  EXPECT_EQ(copy.status, 0) << copy.out;
  EXPECT_EQ(Tool("dump " + dir / "Copied.DB --blobs hex").out, Tool("dump " + dir / "CUSTOMER.DB --blobs hex").out);

  ToolRun verify = Tool("verify " + dir.path());
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find("Copied.DB: ok"), std::string::npos) << verify.out;
}

TEST(Tool, VerifyListsTheProblemsOfADamagedTable) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  testing::ScratchDir dir;
  testing::CopySampleFolder("paradoxdriver/db", dir.path());
  {
    // The header claims one record more than the blocks hold.
    std::fstream f(dir / "ORDERS.DB", std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(6);
    unsigned char count[4];
    f.read(reinterpret_cast<char*>(count), 4);
    count[0] = static_cast<unsigned char>(count[0] + 1);
    f.seekp(6);
    f.write(reinterpret_cast<char*>(count), 4);
  }
  {
    // A record moved out of key order.
    std::fstream f(dir / "AREACODE.DB", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(2048 + 6);
    f.write("999", 3);
  }
  ToolRun verify = Tool("verify " + dir.path());
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.out.find("ORDERS.DB: the header counts 225 records, the blocks hold 224"), std::string::npos) << verify.out;
  EXPECT_NE(verify.out.find("AREACODE.DB: row 2 is out of key order"), std::string::npos) << verify.out;
  EXPECT_NE(verify.out.find("CUSTOMER.DB: ok"), std::string::npos) << verify.out;

  ToolRun bad = Tool("dump " + dir / "NoSuchTable");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("NoSuchTable"), std::string::npos) << bad.out;
  EXPECT_EQ(Tool("frobnicate").status, 2);
}

TEST(Tool, VerifyFindsBlobsPointingIntoFreedSpace) {
  TABULOR_REQUIRE_SAMPLES("paradox");
  testing::ScratchDir dir;
  testing::CopySampleFolder("biolife", dir.path());
  {
    // The first block after the header becomes a free run: whatever pointed into it dangles.
    std::fstream f(dir / "BIOLIFE.MB", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4096);
    f.put(4);
  }
  ToolRun verify = Tool("verify " + dir / "BIOLIFE.DB");
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.out.find("BIOLIFE.DB: row 1, field "), std::string::npos) << verify.out;
  EXPECT_NE(verify.out.find("blob points to"), std::string::npos) << verify.out;
}

TEST(Tool, UsageErrors) {
  ToolRun bad = Tool("dump /nonexistent/NoSuchTable");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("NoSuchTable"), std::string::npos) << bad.out;
  EXPECT_EQ(Tool("frobnicate").status, 2);
}

}  // namespace
}  // namespace tabulor::db
