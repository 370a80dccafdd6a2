#include "db/access/checked_scan.h"

#include <string>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kUsageBitmapPage = 0x05;
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kDeletedFlag = 0x4000;  // libmdb's rule: such rows are deleted or moved elsewhere
constexpr size_t kInlineMapHeader = 5;

[[noreturn]] void Damaged(const std::string& what) { throw AccessError(what); }

std::string PageText(uint32_t page) { return "la page " + std::to_string(page); }

// The row a definition's 4-byte pointer (page << 8 | row) names, checked to exist.
void CheckMapRow(MdbHandle* mdb, uint32_t pointer, const char* which, size_t minimum_size) {
  const uint32_t page = pointer >> 8;
  const unsigned row = pointer & 0xff;
  const std::vector<uint8_t> bytes = ReadPageCopy(mdb, page);
  if (bytes[0] != kDataPage) Damaged("la table d'occupation " + std::string(which) + " désigne " + PageText(page) + ", qui n'est pas une page de données");
  const unsigned rows = Le16(&bytes[mdb->fmt->row_count_offset]);
  if (row >= rows) Damaged("la table d'occupation " + std::string(which) + " désigne une ligne absente de " + PageText(page));
  int start = 0;
  size_t size = 0;
  std::copy(bytes.begin(), bytes.end(), mdb->alt_pg_buf);
  mdb_swap_pgbuf(mdb);
  const int found = mdb_find_row(mdb, static_cast<int>(row), &start, &size);
  mdb_swap_pgbuf(mdb);
  if (found != 0 || size < minimum_size)
    Damaged("la table d'occupation " + std::string(which) + " (" + PageText(page) + ") est endommagée");
}

}  // namespace

CheckedScan::CheckedScan(MdbHandle* mdb, MdbTableDef* table) : mdb_(mdb), table_(table), page_count_(PageCount(mdb)) {
  CheckUsageMaps();
}

void CheckedScan::CheckUsageMaps() {
  const std::vector<uint8_t> definition = ReadPageCopy(mdb_, table_->entry->table_pg);
  CheckMapRow(mdb_, Le32(&definition[mdb_->fmt->tab_usage_map_offset]), "des pages", kInlineMapHeader);
  CheckMapRow(mdb_, Le32(&definition[mdb_->fmt->tab_free_map_offset]), "de l'espace libre", 1);
  const unsigned char* map = table_->usage_map;
  const size_t size = table_->map_sz;
  if (!map || size < kInlineMapHeader) Damaged("la table d'occupation des pages est endommagée");
  if (map[0] == 1) {  // a list of bitmap pages
    for (size_t at = 1; at + 4 <= size; at += 4) {
      const uint32_t page = Le32(map + at);
      if (page != 0 && ReadPageCopy(mdb_, page)[0] != kUsageBitmapPage)
        Damaged("la table d'occupation des pages désigne " + PageText(page) + ", qui n'en est pas une");
    }
  } else if (map[0] != 0) {
    Damaged("la table d'occupation des pages est d'un type inconnu (" + std::to_string(map[0]) + ")");
  }
}

bool CheckedScan::NextPage() {
  const gint32 next = mdb_map_find_next(mdb_, table_->usage_map, static_cast<unsigned>(table_->map_sz), page_);
  if (next < 0) Damaged("la table d'occupation des pages est illisible");
  if (next == 0) return false;
  const auto page = static_cast<uint32_t>(next);
  if (page <= page_) Damaged("la table d'occupation des pages revient sur " + PageText(page));
  if (page >= page_count_) Damaged(PageText(page) + " de la table est au-delà de la fin du fichier");
  if (mdb_read_pg(mdb_, page) != mdb_->fmt->pg_size) Damaged(PageText(page) + " de la table est illisible");
  const unsigned char* bytes = mdb_->pg_buf;
  if (bytes[0] != kDataPage || Le32(bytes + 4) != table_->entry->table_pg)
    Damaged(PageText(page) + " de la table n'est pas une page de données de cette table");
  page_ = page;
  rows_on_page_ = Le16(bytes + mdb_->fmt->row_count_offset);
  if (mdb_->fmt->row_count_offset + 2 + 2 * static_cast<size_t>(rows_on_page_) > static_cast<size_t>(mdb_->fmt->pg_size))
    Damaged(PageText(page) + " annonce plus de lignes qu'elle ne peut en contenir");
  next_row_ = 0;
  return true;
}

bool CheckedScan::Next(int& start, size_t& size) {
  for (;;) {
    while (page_ == 0 || next_row_ >= rows_on_page_) {
      if (!NextPage()) {
        if (rows_found_ != table_->num_rows)
          Damaged(std::to_string(rows_found_) + " lignes trouvées, sa définition en annonce " + std::to_string(table_->num_rows));
        return false;
      }
    }
    const unsigned row = next_row_++;
    const uint16_t entry = Le16(mdb_->pg_buf + mdb_->fmt->row_count_offset + 2 + 2 * row);
    if (entry & kDeletedFlag) continue;
    if (mdb_find_row(mdb_, static_cast<int>(row), &start, &size) != 0)
      Damaged("la ligne " + std::to_string(row) + " de " + PageText(page_) + " est introuvable");
    start &= kRowOffsetMask;
    if (size == 0) Damaged("la ligne " + std::to_string(row) + " de " + PageText(page_) + " est vide");
    ++rows_found_;
    return true;
  }
}

}  // namespace tabulor::db::access
