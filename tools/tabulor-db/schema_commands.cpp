// `tabulor-db sql`, `add-index`, `rename`, `rename-field` and `reindex`.
#include <cstdio>

#include "commands.h"
#include "db/paradox/engine.h"

namespace tabulor::tools {
namespace {

int UsageError(const char* usage) {
  std::fprintf(stderr, "usage: tabulor-db %s\n", usage);
  return 2;
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) out.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

int SqlCommand(const Args& args) {
  if (args.size() != 2) return UsageError("sql DIR \"STATEMENT\"");
  db::Session session;
  db::ExecSql(session, args[0], args[1]);
  std::printf("done\n");
  return 0;
}

int AddIndexCommand(const Args& args) {
  const char* usage = "add-index TABLE NAME FIELDS [--primary] [--unique] [--case-insensitive]";
  if (args.size() < 3) return UsageError(usage);
  db::IndexDef index;
  index.name = args[1];
  index.fields = SplitList(args[2]);
  for (size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--primary") index.primary = true;
    else if (args[i] == "--unique") index.unique = true;
    else if (args[i] == "--case-insensitive") index.case_insensitive = true;
    else return UsageError(usage);
  }
  TablePath where = SplitTablePath(args[0]);
  db::Session session;
  db::AddIndex(session, where.directory, where.table, index);
  std::printf("index %s added to %s\n", index.name.c_str(), where.table.c_str());
  return 0;
}

int RenameCommand(const Args& args) {
  if (args.size() != 2) return UsageError("rename TABLE NEWNAME");
  TablePath where = SplitTablePath(args[0]);
  db::Session session;
  db::RenameTable(session, where.directory, where.table, args[1]);
  std::printf("%s renamed to %s\n", where.table.c_str(), args[1].c_str());
  return 0;
}

int RenameFieldCommand(const Args& args) {
  if (args.size() != 3) return UsageError("rename-field TABLE FIELD NEWNAME");
  TablePath where = SplitTablePath(args[0]);
  db::Session session;
  db::FieldChange change;
  change.new_name = args[2];
  db::ChangeField(session, where.directory, where.table, args[1], change);
  std::printf("field %s of %s renamed to %s\n", args[1].c_str(), where.table.c_str(), args[2].c_str());
  return 0;
}

int ReindexCommand(const Args& args) {
  if (args.size() != 1) return UsageError("reindex TABLE");
  TablePath where = SplitTablePath(args[0]);
  db::Session session;
  db::RebuildIndexes(session, where.directory, where.table);
  std::printf("indexes of %s rebuilt\n", where.table.c_str());
  return 0;
}

}  // namespace tabulor::tools
