// `tabulor-db dump`: the rows of a table as tab-separated text, one line a row.
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "db/common/dump_text.h"
#include "db/paradox/engine.h"
#include "db/paradox/format/header.h"

namespace tabulor::tools {
namespace {

using db::FieldType;

std::string ValueText(db::Field& f, bool hex) {
  if (f.IsNull()) return "\\N";
  switch (f.Type()) {
    case FieldType::kAlpha: case FieldType::kMemo: case FieldType::kFmtMemo: return db::DumpEscaped(f.AsString());
    case FieldType::kDate: return f.AsDateTime().IsoDate();
    case FieldType::kTime: return f.AsDateTime().IsoTime();
    case FieldType::kTimestamp: return f.AsDateTime().IsoDateTime();
    case FieldType::kShort: case FieldType::kLong: case FieldType::kAutoInc: return std::to_string(f.AsInteger());
    case FieldType::kMoney: case FieldType::kNumber: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", f.AsFloat());
      return buf;
    }
    case FieldType::kLogical: return f.AsBoolean() ? "T" : "F";
    case FieldType::kBcd: return f.AsString();
    default: {
      db::Blob b = f.AsBlob();
      return db::DumpBlob(b.data(), b.size(), hex);
    }
  }
}

}  // namespace

void WriteDump(std::ostream& out, db::Table& table, bool hex) {
  const db::TableDef& def = table.Definition();
  std::string line = "#fields";
  for (const auto& f : def.fields) {
    int size_byte = db::IsBlobType(f.type) ? f.size + 10 : f.size;
    line += "\t" + f.name + ":" + std::to_string(static_cast<int>(f.type)) + ":" +
            std::to_string(db::format::StoredSize(f.type, size_byte));
  }
  out << line << '\n';
  for (table.First(); !table.Eof(); table.Next()) {
    line.clear();
    for (int i = 0; i < table.FieldCount(); ++i) {
      if (i) line += '\t';
      line += ValueText(table.FieldAt(i), hex);
    }
    out << line << '\n';
  }
}

int DumpCommand(const Args& args) {
  if (args.empty() || (args.size() != 1 && !(args.size() == 3 && args[1] == "--blobs" && args[2] == "hex"))) {
    std::fprintf(stderr, "usage: tabulor-db dump TABLE [--blobs hex]\n");
    return 2;
  }
  const bool hex = args.size() == 3;
  TablePath where = SplitTablePath(args[0]);
  db::Session session;
  db::Table table(session, where.directory, where.table);
  table.SetReadOnly(true);
  table.Open();
  WriteDump(std::cout, table, hex);
  return 0;
}

}  // namespace tabulor::tools
