#include "db/access/libmdb_reader.h"

// mdbtools.h 1.0.0 includes glib.h inside its extern "C" block, which breaks
// C++; including glib.h first makes that inner include a no-op.
#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>
#include <vector>

#include "db/access/error.h"
#include "db/access/text_util.h"

namespace tabulor::db::access {
namespace {

constexpr int kMemoHeaderSize = 12;
constexpr int kRowOffsetMask = 0x1fff;
// A long value is at most 16 MiB (24-bit length); a chain longer than this
// many pieces is a loop in a damaged file.
constexpr int kMaxLongValuePieces = 1 << 16;

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using TableDef = std::unique_ptr<MdbTableDef, TableFreer>;

class RowReader {
 public:
  RowReader(MdbHandle* mdb, MdbTableDef* table) : mdb_(mdb), table_(table), fields_(table->num_cols) {}

  // Decodes the row that the last mdb_fetch_row delivered.
  bool Read(std::vector<Cell>& cells) {
    int start = 0;
    size_t size = 0;
    if (table_->cur_row == 0 || mdb_find_row(mdb_, table_->cur_row - 1, &start, &size) != 0) return false;
    start &= kRowOffsetMask;
    if (mdb_crack_row(table_, start, size, fields_.data()) < 0) return false;
    cells.assign(table_->num_cols, Cell{});
    for (unsigned i = 0; i < table_->num_cols; ++i) {
      const MdbField& field = fields_[i];
      auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, field.colnum));
      cells[field.colnum] = Decode(column, field);
    }
    return true;
  }

 private:
  bool Fits(int start, int size) const {
    return start >= 0 && size >= 0 && static_cast<size_t>(start) + static_cast<size_t>(size) <= static_cast<size_t>(mdb_->fmt->pg_size);
  }

  Cell Decode(MdbColumn* column, const MdbField& field) {
    Cell cell;
    if (column->col_type == MDB_BOOL) {  // the null bit is the value
      cell.kind = Cell::Kind::kBoolean;
      cell.integer = field.is_null ? 0 : 1;
      return cell;
    }
    if (field.is_null) return cell;
    const int start = field.start;
    const int size = field.siz;
    unsigned char* page = static_cast<unsigned char*>(mdb_->pg_buf);
    auto need = [&](int bytes) {
      if (size < bytes || !Fits(start, bytes)) throw AccessError("valeur de colonne endommagée : " + std::string(column->name));
    };
    switch (column->col_type) {
      case MDB_BYTE:
        need(1);
        cell.kind = Cell::Kind::kInteger;
        cell.integer = page[start];
        break;
      case MDB_INT:
        need(2);
        cell.kind = Cell::Kind::kInteger;
        cell.integer = static_cast<int16_t>(mdb_get_int16(page, start));
        break;
      case MDB_LONGINT:
      case MDB_COMPLEX:
        need(4);
        cell.kind = Cell::Kind::kInteger;
        cell.integer = static_cast<int32_t>(mdb_get_int32(page, start));
        break;
      case MDB_MONEY: {
        need(8);
        int64_t scaled = 0;
        std::memcpy(&scaled, page + start, 8);
        cell.kind = Cell::Kind::kFloat;
        cell.number = static_cast<double>(scaled) / 10000.0;
        break;
      }
      case MDB_FLOAT:
        need(4);
        cell.kind = Cell::Kind::kFloat;
        cell.number = mdb_get_single(page, start);
        break;
      case MDB_DOUBLE:
        need(8);
        cell.kind = Cell::Kind::kFloat;
        cell.number = mdb_get_double(page, start);
        break;
      case MDB_DATETIME:
        need(8);
        cell.kind = Cell::Kind::kDateTime;
        cell.number = mdb_get_double(page, start);
        break;
      case MDB_TEXT:
        if (!Fits(start, size)) throw AccessError("texte endommagé : " + std::string(column->name));
        cell.kind = Cell::Kind::kText;
        cell.text = ToUtf8(reinterpret_cast<const char*>(page + start), size);
        break;
      case MDB_MEMO:
        cell.kind = Cell::Kind::kText;
        if (size >= kMemoHeaderSize) {
          std::string raw = LongValue(column, start, size);
          cell.text = ToUtf8(raw.data(), raw.size());
        }
        break;
      case MDB_OLE:
        cell.kind = Cell::Kind::kBytes;
        if (size >= kMemoHeaderSize) cell.text = LongValue(column, start, size);
        break;
      case MDB_BINARY:
        if (!Fits(start, size)) throw AccessError("valeur binaire endommagée : " + std::string(column->name));
        cell.kind = Cell::Kind::kBytes;
        cell.text.assign(reinterpret_cast<const char*>(page + start), size);
        break;
      case MDB_REPID: {
        need(16);
        char* text = mdb_uuid_to_string(page, start);
        cell.kind = Cell::Kind::kText;
        cell.text = text ? text : "";
        g_free(text);
        break;
      }
      case MDB_NUMERIC: {  // decimal: libmdb's exact digits, then as a double
        need(17);
        char* text = mdb_numeric_to_string(mdb_, start, column->col_scale, column->col_prec);
        cell.kind = Cell::Kind::kFloat;
        cell.number = ParseCDouble(text ? text : "");
        g_free(text);
        break;
      }
      default:  // types these programs never use: their bytes
        if (!Fits(start, size)) throw AccessError("valeur endommagée : " + std::string(column->name));
        cell.kind = Cell::Kind::kBytes;
        cell.text.assign(reinterpret_cast<const char*>(page + start), size);
        break;
    }
    return cell;
  }

  std::string ToUtf8(const char* bytes, size_t size) {
    if (size == 0) return {};
    // One stored byte gives at most three bytes of UTF-8 (Jet 3 code page,
    // compressed Jet 4 text); two give at most three (UCS-2).
    std::vector<char> out(size * 3 + 4);
    int length = mdb_unicode2ascii(mdb_, bytes, size, out.data(), out.size());
    return std::string(out.data(), length > 0 ? static_cast<size_t>(length) : 0);
  }

  // The bytes of a memo or OLE value: inline, on one long-value row, or on a
  // chain of them. Reads long-value pages into libmdb's second page buffer, so
  // the row being decoded stays in place.
  std::string LongValue(MdbColumn* column, int start, int size) {
    if (!Fits(start, kMemoHeaderSize)) throw AccessError("valeur longue endommagée : " + std::string(column->name));
    unsigned char* page = static_cast<unsigned char*>(mdb_->pg_buf);
    const uint32_t header = static_cast<uint32_t>(mdb_get_int32(page, start));
    const uint32_t length = header & 0x00ffffff;
    int32_t row_pointer = static_cast<int32_t>(mdb_get_int32(page, start + 4));
    auto damaged = [&] { return AccessError("valeur longue illisible : " + std::string(column->name)); };
    std::string value;
    if (header & 0x80000000u) {
      if (!Fits(start, size)) throw damaged();
      value.assign(reinterpret_cast<const char*>(page + start + kMemoHeaderSize), size - kMemoHeaderSize);
      return value;
    }
    void* buffer = nullptr;
    int row_start = 0;
    size_t row_size = 0;
    if (header & 0x40000000u) {
      if (mdb_find_pg_row(mdb_, row_pointer, &buffer, &row_start, &row_size) != 0) throw damaged();
      value.assign(static_cast<const char*>(buffer) + row_start, row_size);
      return value;
    }
    if ((header & 0xff000000u) != 0) throw damaged();
    for (int pieces = 0; row_pointer != 0; ++pieces) {
      if (pieces == kMaxLongValuePieces) throw damaged();
      if (mdb_find_pg_row(mdb_, row_pointer, &buffer, &row_start, &row_size) != 0 || row_size < 4) throw damaged();
      const char* piece = static_cast<const char*>(buffer) + row_start;
      value.append(piece + 4, row_size - 4);
      if (value.size() > length) throw damaged();
      row_pointer = static_cast<int32_t>(mdb_get_int32(const_cast<char*>(piece), 0));
    }
    if (value.size() != length) throw damaged();
    return value;
  }

  MdbHandle* mdb_;
  MdbTableDef* table_;
  std::vector<MdbField> fields_;
};

TableData ReadTable(MdbHandle* mdb, MdbCatalogEntry* entry) {
  TableDef table(mdb_read_table(entry));
  if (!table) throw AccessError("définition de la table " + std::string(entry->object_name) + " illisible");
  // Right after mdb_read_table: the columns are parsed from the page it loaded.
  if (!mdb_read_columns(table.get()) || table->num_cols == 0)
    throw AccessError("colonnes de la table " + std::string(entry->object_name) + " illisibles");
  TableData data;
  data.name = entry->object_name;
  for (unsigned i = 0; i < table->num_cols; ++i) {
    auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    ColumnInfo info;
    info.name = column->name;
    info.type = static_cast<ColumnType>(column->col_type);
    info.size = column->col_size;
    info.auto_increment = !IS_JET3(mdb) && column->is_long_auto;
    data.columns.push_back(std::move(info));
  }
  RowReader reader(mdb, table.get());
  mdb_rewind_table(table.get());
  std::vector<Cell> cells;
  while (mdb_fetch_row(table.get())) {
    if (reader.Read(cells)) data.rows.push_back(cells);
  }
  return data;
}

}  // namespace

FileContents ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table) {
  Handle mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw AccessError("le fichier " + path + " n'est pas une base de données Access lisible");
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
    throw AccessError("le catalogue de la base de données " + path + " est illisible");
  FileContents contents;
  MdbCatalogEntry* wanted = nullptr;
  MdbCatalogEntry* wanted_folded = nullptr;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (!mdb_is_user_table(entry)) continue;
    contents.table_names.push_back(entry->object_name);
    if (!table) continue;
    if (*table == entry->object_name) wanted = entry;
    else if (!wanted_folded && EqualsIgnoreCase(*table, entry->object_name)) wanted_folded = entry;
  }
  if (table) {
    if (!wanted) wanted = wanted_folded;
    if (!wanted) throw AccessError("la table " + *table + " n'existe pas dans " + path);
    contents.table = ReadTable(mdb.get(), wanted);
  }
  return contents;
}

}  // namespace tabulor::db::access
