// tabulor-db COMMAND ARGS...: one entry per subcommand.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "commands.h"
#include "db/access/mdb_dump.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const tabulor::tools::Args&);
};

const Command kCommands[] = {
    {"info", "info TABLE                 header facts, fields, keys and indexes", tabulor::tools::InfoCommand},
    {"dump", "dump TABLE [--blobs hex]   the rows in the canonical text form", tabulor::tools::DumpCommand},
    {"verify", "verify TABLE|DIR           check structure, blobs and indexes", tabulor::tools::VerifyCommand},
    {"copy", "copy SRC DST               a new table with the layout and rows of SRC", tabulor::tools::CopyCommand},
    {"sql", "sql DIR \"STATEMENT\"         one local SQL statement (ALTER TABLE ... ADD ...)", tabulor::tools::SqlCommand},
    {"add-index", "add-index TABLE NAME FIELDS [--primary] [--unique] [--case-insensitive]", tabulor::tools::AddIndexCommand},
    {"rename", "rename TABLE NEWNAME        rename the table with all its files", tabulor::tools::RenameCommand},
    {"rename-field", "rename-field TABLE FIELD NEWNAME", tabulor::tools::RenameFieldCommand},
    {"reindex", "reindex TABLE              rebuild every index file of the table from its rows", tabulor::tools::ReindexCommand},
    {"mdb-dump", "mdb-dump FILE TABLE [--blobs hex]  a table of an Access file, in the same text form",
     [](const tabulor::tools::Args& a) { return tabulor::db::access::RunMdbDump(a, std::cout, std::cerr); }},
};

int Usage() {
  std::fprintf(stderr, "usage: tabulor-db COMMAND ...\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  tabulor-db %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string name = argv[1];
  tabulor::tools::Args args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    try {
      return c.run(args);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tabulor-db %s: %s\n", c.name, e.what());
      return 1;
    }
  }
  return Usage();
}
