// Opening a connection: the connection string, paths written the Windows
// way, and files that are not databases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "db/access/connection.h"
#include "db/access/connection_string.h"
#include "db/access/error.h"
#include "common/samples.h"
#include "test_support.h"

namespace tabulor::db::access {
namespace {
using namespace testing;

std::string OpenError(const std::string& connection_string) {
  Connection connection;
  connection.SetConnectionString(connection_string);
  try {
    connection.Open();
  } catch (const AccessError& e) {
    EXPECT_FALSE(connection.IsOpen());
    return e.what();
  }
  return "opened";
}

TEST(ConnectionString, DataSourceAmongTheOtherKeys) {
  EXPECT_EQ(DataSourceOf("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Balantis\\Balantis2000.mdb;"
                         "Persist Security Info=False"),
            "C:\\Balantis\\Balantis2000.mdb");
  EXPECT_EQ(DataSourceOf("data source = /tmp/a b.mdb "), "/tmp/a b.mdb");
  EXPECT_EQ(DataSourceOf("Provider=x;Data Source=\"/tmp/a;b.mdb\";Mode=Read"), "/tmp/a;b.mdb");
  EXPECT_THROW(DataSourceOf("Provider=Microsoft.Jet.OLEDB.4.0"), AccessError);
  EXPECT_THROW(DataSourceOf("Data Source=;Provider=x"), AccessError);
  EXPECT_THROW(DataSourceOf("Data Source=\"/tmp/x"), AccessError);
}

TEST(ResolveWindowsPath, BackslashesAndLetterCase) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "Balantis" / "Data");
  std::ofstream(dir.path() / "Balantis" / "Data" / "Balantis2000.mdb") << "x";
  const std::string root = dir.path().string();
  EXPECT_EQ(ResolveWindowsPath(root + "\\Balantis\\Data\\Balantis2000.mdb"), root + "/Balantis/Data/Balantis2000.mdb");
  EXPECT_EQ(ResolveWindowsPath(root + "\\BALANTIS\\data\\balantis2000.MDB"), root + "/Balantis/Data/Balantis2000.mdb");
  EXPECT_EQ(ResolveWindowsPath(root + "\\\\Balantis\\Data\\\\Balantis2000.mdb"), root + "/Balantis/Data/Balantis2000.mdb");
  EXPECT_EQ(ResolveWindowsPath(root + "\\Other\\x.mdb"), root + "/Other/x.mdb");
}

TEST(Connection, OpensASampleThroughAWindowsStylePath) {
  TABULOR_REQUIRE_SAMPLES("access");
  const std::string directory = samples::Folder("access");
  Connection connection;
  connection.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + directory +
                                 "\\TESTV1997.MDB;Persist Security Info=False");
  connection.Open();
  EXPECT_TRUE(connection.IsOpen());
  EXPECT_EQ(connection.FilePath(), directory + "/testV1997.mdb");
  EXPECT_EQ(connection.TableNames(), (std::vector<std::string>{"Table1", "Table2", "Table3", "Table4"}));
  EXPECT_THROW(connection.SetConnectionString("Data Source=x"), AccessError);
  connection.Close();
  EXPECT_FALSE(connection.IsOpen());
}

TEST(Connection, ReadsWithoutWritingOrLocking) {
  TABULOR_REQUIRE_SAMPLES("access");
  ScratchDir dir;
  std::filesystem::copy_file(SamplePath("testV1997.mdb"), dir.File("shared.mdb"));
  std::filesystem::permissions(dir.File("shared.mdb"), std::filesystem::perms::owner_read);
  const auto before = std::filesystem::last_write_time(dir.File("shared.mdb"));
  std::ifstream held_open(dir.File("shared.mdb"));  // another program keeps the file open
  EXPECT_EQ(ReadThroughLayer(dir.File("shared.mdb"), "Table1").rows.size(), 2u);
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("shared.mdb")), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(Connection, FilesThatCannotBeOpenedFailWithAMessage) {
  ScratchDir dir;
  EXPECT_EQ(OpenError("Data Source=" + dir.File("missing.mdb")), "Fichier introuvable : " + dir.File("missing.mdb"));
  EXPECT_NE(OpenError("Data Source=" + dir.path().string()).find("n'est pas un fichier"), std::string::npos);
  std::ofstream(dir.File("empty.mdb")).close();
  EXPECT_NE(OpenError("Data Source=" + dir.File("empty.mdb")).find("catalogue"), std::string::npos);
  std::ofstream(dir.File("text.mdb")) << "Ceci n'est pas une base de données.\n";
  EXPECT_NE(OpenError("Data Source=" + dir.File("text.mdb")).find("n'est pas une base de données Access"),
            std::string::npos);
  EXPECT_NE(OpenError("Provider=Microsoft.Jet.OLEDB.4.0").find("Data Source"), std::string::npos);
  if (geteuid() != 0) {  // root reads anything
    std::ofstream(dir.File("locked.mdb")) << "x";
    std::filesystem::permissions(dir.File("locked.mdb"), std::filesystem::perms::none);
    EXPECT_NE(OpenError("Data Source=" + dir.File("locked.mdb")).find("interdite"), std::string::npos);
  }
}

TEST(Connection, ReaderLimitsStopALongRead) {
  TABULOR_REQUIRE_SAMPLES("access");
  Connection connection;
  connection.SetConnectionString("Data Source=" + SamplePath("nwind.mdb"));
  connection.Open();
  ReaderLimits limits;
  limits.time_limit = std::chrono::milliseconds(1);
  connection.SetReaderLimits(limits);
  try {
    connection.ReadTable("Order Details");
    FAIL() << "a 1 ms limit cannot read 2155 rows";
  } catch (const AccessError& e) {
    EXPECT_NE(std::string(e.what()).find("délai"), std::string::npos) << e.what();
  }
  limits = {};
  limits.reply_limit_bytes = 1000;
  connection.SetReaderLimits(limits);
  EXPECT_THROW(connection.ReadTable("Order Details"), AccessError);
  connection.SetReaderLimits({});
  EXPECT_EQ(connection.ReadTable("Order Details").rows.size(), 2155u);
}

}  // namespace
}  // namespace tabulor::db::access
