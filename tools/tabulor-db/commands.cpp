// `tabulor-db info`, `verify` and `copy`.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "db/paradox/engine.h"
#include "db/paradox/format/header.h"
#include "db/paradox/names.h"
#include "db/paradox/table_family.h"

namespace tabulor::tools {

TablePath SplitTablePath(const std::string& path) {
  std::string p = db::names::NormalizeDirectory(path);
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return {".", p};
  return {slash == 0 ? "/" : p.substr(0, slash), p.substr(slash + 1)};
}

namespace {

std::shared_ptr<db::TableFamily> OpenFamily(const std::string& path) {
  TablePath where = SplitTablePath(path);
  auto env = db::Env::Default();
  db::FamilyFiles files = db::FamilyFiles::Find(*env, where.directory, where.table);
  return std::make_shared<db::TableFamily>(env, files, files.db.empty() ? where.table : files.db, true);
}

const char* FileTypeName(int t) {
  switch (t) {
    case 0: return "keyed table";
    case 2: return "unkeyed table";
    default: return "index";
  }
}

}  // namespace

int InfoCommand(const Args& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: tabulor-db info TABLE\n");
    return 2;
  }
  auto fam = OpenFamily(args[0]);
  const db::format::Header& h = fam->Header();
  const db::TableDef& def = fam->Definition();
  std::printf("table           %s\n", fam->Path().c_str());
  std::printf("file type       %d (%s)\n", static_cast<int>(h.file_type), FileTypeName(h.file_type));
  std::printf("file version    %d\n", h.file_version);
  std::printf("header size     %d\n", h.header_size);
  std::printf("record size     %d\n", h.record_size);
  std::printf("block size      %d\n", h.block_size);
  std::printf("records         %u\n", h.num_records);
  std::printf("blocks          %d in use, %d in the file, first %d, last %d, first free %d\n", h.used_blocks,
              h.file_blocks, h.first_block, h.last_block, h.first_free_block);
  std::printf("autoincrement   %u\n", h.auto_inc);
  std::printf("code page       %d (%s)\n", fam->Codec().Number(), fam->Codec().Charset().c_str());
  std::printf("sort order      0x%02X %s\n", h.sort_order, h.sort_order_id.c_str());
  std::printf("change counter  %d\n", fam->Header().ChangeCounter());
  std::printf("name in header  %s\n", h.table_name.c_str());
  std::printf("fields          %zu\n", def.fields.size());
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const db::FieldDef& f = def.fields[i];
    std::printf("  %3zu %-25s %c%-4s offset %d, %d bytes%s\n", i + 1, f.name.c_str(), db::format::TypeLetter(f.type),
                (f.size ? std::to_string(f.size) : std::string()).c_str(), h.offsets[i], h.stored_sizes[i],
                static_cast<int>(i) < def.key_field_count ? ", key" : "");
  }
  std::printf("primary key     %d field(s)\n", def.key_field_count);
  for (const db::IndexDef& idx : def.indexes) {
    std::string fields;
    for (const auto& f : idx.fields) fields += (fields.empty() ? "" : ";") + f;
    std::string where;
    for (const auto& files : fam->SecondaryIndexes())
      if (files.def.name == idx.name) where = ", " + files.x_name + " " + files.y_name;
    std::printf("index           %s (%s)%s%s%s%s%s\n", idx.name.c_str(), fields.c_str(),
                idx.case_insensitive ? " case-insensitive" : "", idx.descending ? " descending" : "",
                idx.unique ? " unique" : "", idx.maintained ? "" : " not maintained", where.c_str());
  }
  return 0;
}

int VerifyCommand(const Args& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: tabulor-db verify TABLE|DIR\n");
    return 2;
  }
  auto env = db::Env::Default();
  std::vector<std::string> tables;
  const std::string target = db::names::NormalizeDirectory(args[0]);
  if (env->DirectoryExists(target)) {
    for (const std::string& name : env->ListDirectory(target))
      if (name.size() > 3 && db::names::EqualNoCase(name.substr(name.size() - 3), ".DB")) tables.push_back(target + "/" + name);
    std::sort(tables.begin(), tables.end());
  } else {
    tables.push_back(target);
  }
  int bad = 0;
  for (const std::string& path : tables) {
    std::vector<std::string> problems;
    try {
      problems = OpenFamily(path)->Verify();
    } catch (const std::exception& e) {
      problems.push_back(e.what());
    }
    if (problems.empty()) {
      std::printf("%s: ok\n", path.c_str());
      continue;
    }
    ++bad;
    for (const std::string& p : problems) std::printf("%s: %s\n", path.c_str(), p.c_str());
  }
  return bad ? 1 : 0;
}

int CopyCommand(const Args& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: tabulor-db copy SRC DST\n");
    return 2;
  }
  TablePath from = SplitTablePath(args[0]);
  TablePath to = SplitTablePath(args[1]);
  db::Session session;
  db::Table src(session, from.directory, from.table);
  src.SetReadOnly(true);
  src.Open();
  db::TableDef def = src.Definition();
  def.indexes.clear();  // secondary indexes are not copied
  def.file_version = std::max(def.file_version, 9);
  db::CreateTable(session, to.directory, to.table, def);
  db::Table dst(session, to.directory, to.table);
  dst.Open();
  for (src.First(); !src.Eof(); src.Next()) {
    dst.Append();
    dst.CopyRecordFrom(src, {.match = db::RecordCopy::Match::kByPosition, .keep_autoinc = true});
    dst.Post();
  }
  dst.FlushBuffers();
  std::printf("%lld rows copied to %s\n", static_cast<long long>(dst.RecordCount()), dst.Path().c_str());
  return 0;
}

}  // namespace tabulor::tools
