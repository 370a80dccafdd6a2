#include "db/access/mdb_dump.h"

#include <charconv>
#include <ostream>

#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/table.h"
#include "db/common/datetime.h"
#include "db/common/dump_text.h"

namespace tabulor::db::access {
namespace {

constexpr const char* kUsage = "usage: tabulor-db mdb-dump FILE TABLE [--blobs hex]\n";

}  // namespace

std::string DumpHeader(const std::vector<ColumnInfo>& columns) {
  std::string line = "#fields";
  for (const auto& c : columns)
    line += "\t" + c.name + ":" + std::to_string(static_cast<int>(c.type)) + ":" + std::to_string(c.size);
  return line;
}

std::string DumpCell(const Cell& cell, bool hex_blobs) {
  switch (cell.kind) {
    case Cell::Kind::kNull: return "\\N";
    case Cell::Kind::kText: return DumpEscaped(cell.text);
    case Cell::Kind::kInteger: return std::to_string(cell.integer);
    case Cell::Kind::kBoolean: return cell.integer ? "T" : "F";
    case Cell::Kind::kFloat: {
      char buffer[64];
      auto end = std::to_chars(buffer, buffer + sizeof buffer, cell.number, std::chars_format::general, 17).ptr;
      return std::string(buffer, end);
    }
    case Cell::Kind::kDateTime: {
      const DateTime t = DateTime::FromOleDate(cell.number);
      return t.IsoDate() + " " + t.IsoTime().substr(0, 8);  // to the second
    }
    case Cell::Kind::kBytes:
      return DumpBlob(reinterpret_cast<const uint8_t*>(cell.text.data()), cell.text.size(), hex_blobs);
  }
  return {};
}

int RunMdbDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  bool hex_blobs = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--blobs" && i + 1 < args.size() && args[i + 1] == "hex") {
      hex_blobs = true;
      ++i;
    } else if (!args[i].empty() && args[i][0] == '-') {
      err << kUsage;
      return 2;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    err << kUsage;
    return 2;
  }
  try {
    Connection connection;
    connection.SetConnectionString("Data Source=" + positional[0]);
    connection.Open();
    Table table(connection);
    table.SetTableName(positional[1]);
    table.Open();
    const auto& columns = table.Columns();
    out << DumpHeader(columns) << '\n';
    for (table.First(); !table.Eof(); table.Next()) {
      for (size_t c = 0; c < columns.size(); ++c) {
        if (c) out << '\t';
        out << DumpCell(table.FieldByName(columns[c].name).Value(), hex_blobs);
      }
      out << '\n';
    }
    return 0;
  } catch (const AccessError& e) {
    err << "mdb-dump: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace tabulor::db::access
