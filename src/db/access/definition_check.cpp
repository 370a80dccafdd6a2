#include "db/access/definition_check.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "db/access/error.h"
#include "db/access/text_util.h"

namespace tabulor::db::access {
namespace {

constexpr uint8_t kDefinitionPage = 0x02;
constexpr int kMaxDefinitionPages = 64;
constexpr size_t kContinuationHeader = 8;
// Jet 4 layout after the column descriptors.
constexpr size_t kJet4RealIndexSize = 52;
constexpr size_t kJet4LogicalIndexSize = 28;
constexpr size_t kJet4LongValueMapSize = 10;
constexpr size_t kMaxNameBytes = 128;  // 64 characters

[[noreturn]] void Damaged(const std::string& what) { throw AccessError("définition endommagée : " + what); }

// The definition's bytes across its continuation pages.
std::vector<uint8_t> DefinitionBytes(MdbHandle* mdb, uint32_t first_page) {
  std::vector<uint8_t> bytes;
  uint32_t page = first_page;
  for (int pages = 0; page != 0; ++pages) {
    if (pages == kMaxDefinitionPages) Damaged("ses pages de suite forment une boucle");
    const std::vector<uint8_t> content = ReadPageCopy(mdb, page);
    if (content[0] != kDefinitionPage) Damaged("la page " + std::to_string(page) + " n'en fait pas partie");
    bytes.insert(bytes.end(), content.begin() + (pages == 0 ? 0 : kContinuationHeader), content.end());
    page = Le32(&content[4]);
  }
  return bytes;
}

// Bytes of a fixed-length type's value; 0 for variable-length types.
int FixedSize(int type) {
  switch (type) {
    case MDB_BOOL: return 0;
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return -1;
  }
}

bool IsVariable(int type) { return type == MDB_TEXT || type == MDB_MEMO || type == MDB_OLE || type == MDB_BINARY; }

void CheckColumns(MdbHandle* mdb, MdbTableDef* table, unsigned max_row_columns) {
  std::set<int> numbers;
  std::set<unsigned> variable_indexes;
  std::vector<std::pair<int, int>> fixed_areas;
  std::vector<std::string> names;
  for (unsigned i = 0; i < table->num_cols; ++i) {
    const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    const std::string name = column->name;
    const int fixed_size = FixedSize(column->col_type);
    if (name.empty()) Damaged("une colonne n'a pas de nom");
    for (const std::string& other : names)
      if (EqualsIgnoreCase(other, name)) Damaged("deux colonnes s'appellent " + name);
    names.push_back(name);
    if (fixed_size < 0 && !IsVariable(column->col_type))
      Damaged("la colonne " + name + " est d'un type inconnu (" + std::to_string(column->col_type) + ")");
    if (fixed_size >= 0) {
      // Booleans live in the null mask; libmdb reports their size as 0.
      if (!column->is_fixed || column->col_size != fixed_size)
        Damaged("la colonne " + name + " a une taille ou une forme contraire à son type");
      if (fixed_size > 0) fixed_areas.emplace_back(column->fixed_offset, column->fixed_offset + fixed_size);
    } else {
      if (column->is_fixed) Damaged("la colonne " + name + " a une forme contraire à son type");
      if ((column->col_type == MDB_MEMO || column->col_type == MDB_OLE) && column->col_size != 0)
        Damaged("la colonne " + name + " a une longueur impossible");
      const int longest_text = IS_JET3(mdb) ? 255 : 510;
      if (column->col_type == MDB_TEXT &&
          (column->col_size <= 0 || column->col_size > longest_text || (!IS_JET3(mdb) && column->col_size % 2 != 0)))
        Damaged("la colonne " + name + " a une longueur impossible");
      if (column->var_col_num >= max_row_columns || !variable_indexes.insert(column->var_col_num).second)
        Damaged("la colonne " + name + " a une place impossible");
    }
    if (static_cast<unsigned>(column->col_num) >= max_row_columns || !numbers.insert(column->col_num).second) Damaged("deux colonnes portent le numéro " + std::to_string(column->col_num));
  }
  std::sort(fixed_areas.begin(), fixed_areas.end());
  for (size_t i = 1; i < fixed_areas.size(); ++i)
    if (fixed_areas[i].first < fixed_areas[i - 1].second) Damaged("deux colonnes de longueur fixe se chevauchent");
}

// Walks the Jet 4 layout past the names, index definitions and long-value
// maps to the terminator that closes every definition.
void CheckJet4Layout(MdbTableDef* table, const std::vector<uint8_t>& bytes) {
  auto need = [&](size_t at, size_t n) {
    if (at + n > bytes.size()) Damaged("elle déborde de ses pages");
  };
  const MdbFormatConstants& fmt = *table->entry->mdb->fmt;
  size_t at = fmt.tab_cols_start_offset + table->num_real_idxs * size_t{fmt.tab_ridx_entry_size} +
              table->num_cols * size_t{fmt.tab_col_entry_size};
  for (unsigned i = 0; i < table->num_cols; ++i) {
    need(at, 2);
    const size_t length = Le16(&bytes[at]);
    if (length == 0 || length % 2 != 0 || length > kMaxNameBytes) Damaged("un nom de colonne a une longueur impossible");
    at += 2 + length;
  }
  at += table->num_real_idxs * kJet4RealIndexSize + table->num_idxs * kJet4LogicalIndexSize;
  for (unsigned i = 0; i < table->num_idxs; ++i) {
    need(at, 2);
    const size_t length = Le16(&bytes[at]);
    if (length % 2 != 0 || length > kMaxNameBytes) Damaged("un nom d'index a une longueur impossible");
    at += 2 + length;
  }
  for (;;) {
    need(at, 2);
    if (Le16(&bytes[at]) == 0xffff) return;
    at += kJet4LongValueMapSize;
  }
}

}  // namespace

DefinitionFacts CheckDefinition(MdbHandle* mdb, MdbTableDef* table) {
  if (table->num_idxs > 1000 || table->num_real_idxs > table->num_idxs) Damaged("ses nombres d'index sont impossibles");
  const std::vector<uint8_t> bytes = DefinitionBytes(mdb, table->entry->table_pg);
  DefinitionFacts facts;
  facts.max_row_columns = Le16(&bytes[mdb->fmt->tab_num_cols_offset - 4]);  // just before the variable-column count
  if (facts.max_row_columns < table->num_cols) Damaged("elle compte moins de colonnes qu'elle n'en décrit");
  CheckColumns(mdb, table, facts.max_row_columns);
  if (!IS_JET3(mdb)) CheckJet4Layout(table, bytes);
  return facts;
}

}  // namespace tabulor::db::access
