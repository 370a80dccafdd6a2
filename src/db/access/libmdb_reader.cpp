#include "db/access/libmdb_reader.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "db/access/checked_scan.h"
#include "db/access/definition_check.h"
#include "db/access/error.h"
#include "db/access/jet_header.h"
#include "db/access/jet_text.h"
#include "db/access/libmdb.h"
#include "db/access/libmdb_warnings.h"
#include "db/access/property_check.h"
#include "db/access/text_util.h"

namespace tabulor::db::access {
namespace {

constexpr int kMemoHeaderSize = 12;
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
  RowReader(MdbHandle* mdb, MdbTableDef* table, const DefinitionFacts& facts)
      : mdb_(mdb), table_(table), facts_(facts), fields_(table->num_cols) {}

  // Decodes the row at `start` in the current page; throws when it does not hold together.
  void Read(int start, size_t size, std::vector<Cell>& cells) {
    if (!IS_JET3(mdb_)) CheckJet4Row(start, size);
    if (mdb_crack_row(table_, start, size, fields_.data()) < 0) throw AccessError("une ligne est indéchiffrable");
    const unsigned row_columns = IS_JET3(mdb_) ? mdb_->pg_buf[start] : Le16(mdb_->pg_buf + start);
    cells.assign(table_->num_cols, Cell{});
    for (unsigned i = 0; i < table_->num_cols; ++i) {
      MdbField& field = fields_[i];
      auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, field.colnum));
      // A column added after the row was written is not in the row: null.
      if (static_cast<unsigned>(column->col_num) >= row_columns) field.is_null = 1;
      cells[field.colnum] = Decode(column, field);
    }
  }

 private:
  // The row trailer (Jet 4): column count, variable-column offsets in
  // order and inside the row, fixed columns before the variable data.
  void CheckJet4Row(int start, size_t size) {
    const unsigned char* row = mdb_->pg_buf + start;
    auto damaged = [] { throw AccessError("une ligne est indéchiffrable"); };
    if (size < 3) damaged();
    const unsigned columns = Le16(row);
    if (columns == 0 || columns > facts_.max_row_columns) damaged();
    const size_t mask = (columns + 7) / 8;
    if (table_->num_var_cols == 0) return;
    if (size < 2 + mask + 2) damaged();
    const unsigned variables = Le16(row + size - mask - 2);
    const size_t trailer = mask + 2 + 2 * size_t{variables} + 2;
    if (variables > columns || trailer + 2 > size) damaged();
    // offsets[j] at size - mask - 4 - 2j; the entry past the last is the end of the data
    unsigned previous = 0;
    for (unsigned j = 0; j <= variables; ++j) {
      const unsigned offset = Le16(row + size - mask - 4 - 2 * j);
      if (offset < previous || offset > size - trailer) damaged();
      if (j == 0) {
        for (unsigned i = 0; i < table_->num_cols; ++i) {
          const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
          if (column->is_fixed && column->col_type != MDB_BOOL && static_cast<unsigned>(column->col_num) < columns &&
              2u + column->fixed_offset + column->col_size > offset)
            damaged();
        }
      }
      previous = offset;
    }
  }

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
        if (size > column->col_size) throw AccessError("texte plus long que sa colonne : " + std::string(column->name));
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
    if (!IS_JET3(mdb_)) return Jet4TextToUtf8(std::string_view(bytes, size));
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
      if (!IsLongValueRow(row_pointer) || !FindLongValueRow(row_pointer, &buffer, &row_start, &row_size)) throw damaged();
      if (row_size != length) throw damaged();
      value.assign(static_cast<const char*>(buffer) + row_start, row_size);
      return value;
    }
    if ((header & 0xff000000u) != 0) throw damaged();
    for (int pieces = 0; row_pointer != 0; ++pieces) {
      if (pieces == kMaxLongValuePieces) throw damaged();
      if (!IsLongValueRow(row_pointer) || !FindLongValueRow(row_pointer, &buffer, &row_start, &row_size) || row_size < 4)
        throw damaged();
      const char* piece = static_cast<const char*>(buffer) + row_start;
      value.append(piece + 4, row_size - 4);
      if (value.size() > length) throw damaged();
      row_pointer = static_cast<int32_t>(mdb_get_int32(const_cast<char*>(piece), 0));
    }
    if (value.size() != length) throw damaged();
    return value;
  }

  // A row pointer that names an existing row of a long-value page; the page
  // is then in libmdb's second page buffer.
  bool IsLongValueRow(int32_t pointer) {
    const auto page = static_cast<uint32_t>(pointer) >> 8;
    const unsigned row = static_cast<uint32_t>(pointer) & 0xff;
    if (page == 0 || page >= PageCount(mdb_)) return false;
    // The memos of neighbouring rows share their long-value pages: a page
    // already in the buffer is not read again (only this reader fills the
    // buffer while the rows are read).
    if (page != alt_page_) {
      alt_page_ = 0;
      if (mdb_read_alt_pg(mdb_, page) != mdb_->fmt->pg_size) return false;
      alt_page_ = page;
    }
    const unsigned char* bytes = mdb_->alt_pg_buf;
    return bytes[0] == 0x01 && std::memcmp(bytes + 4, "LVAL", 4) == 0 && row < Le16(bytes + mdb_->fmt->row_count_offset);
  }

  // mdb_find_pg_row on the page IsLongValueRow left in the second buffer,
  // without reading it once more.
  bool FindLongValueRow(int32_t pointer, void** buffer, int* start, size_t* size) {
    mdb_swap_pgbuf(mdb_);
    const int found = mdb_find_row(mdb_, static_cast<int>(static_cast<uint32_t>(pointer) & 0xff), start, size);
    mdb_swap_pgbuf(mdb_);
    *start &= 0x1fff;
    *buffer = mdb_->alt_pg_buf;
    return found == 0;
  }

  MdbHandle* mdb_;
  MdbTableDef* table_;
  DefinitionFacts facts_;
  std::vector<MdbField> fields_;
  uint32_t alt_page_ = 0;  // the long-value page in the second buffer (0: none)
};

// Throws when libmdb printed a warning since the last check.
void CheckWarnings(WarningCapture& warnings) {
  const std::string text = warnings.Take();
  if (!text.empty()) throw AccessError("libmdb signale : " + text);
}

void ReadTable(MdbHandle* mdb, MdbCatalogEntry* entry, FileContents& header, RowSink& sink, WarningCapture& warnings) {
  TableDef table(mdb_read_table(entry));
  if (!table) throw AccessError("définition illisible");
  // Right after mdb_read_table: the columns are parsed from the page it loaded.
  if (!mdb_read_columns(table.get()) || table->num_cols == 0) throw AccessError("colonnes illisibles");
  CheckWarnings(warnings);
  const DefinitionFacts facts = CheckDefinition(mdb, table.get());
  TableData& data = header.table;
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
  CheckedScan scan(mdb, table.get());
  sink.Begin(header);
  RowReader reader(mdb, table.get(), facts);
  std::vector<Cell> cells;
  int start = 0;
  size_t size = 0;
  while (scan.Next(start, size)) {
    reader.Read(start, size, cells);
    CheckWarnings(warnings);
    sink.Row(std::move(cells));
  }
  CheckWarnings(warnings);
}

class Collector : public RowSink {
 public:
  void Begin(const FileContents& header) override { contents = header; }
  void Row(std::vector<Cell>&& row) override { contents.table.rows.push_back(std::move(row)); }
  FileContents contents;
};

// libmdb parses the catalog's property blobs while it reads the catalog,
// trusting them: the catalog table is first read the checked way, and its
// blobs checked.
void CheckCatalogProperties(MdbHandle* mdb, WarningCapture& warnings) {
  MdbCatalogEntry objects{};
  objects.mdb = mdb;
  objects.object_type = MDB_TABLE;
  objects.table_pg = 2;
  std::snprintf(objects.object_name, sizeof objects.object_name, "%s", "MSysObjects");
  FileContents header;
  Collector collector;
  ReadTable(mdb, &objects, header, collector, warnings);
  const TableData& catalog = collector.contents.table;
  const int properties = catalog.ColumnIndex("LvProp");
  if (properties < 0) return;  // libmdb refuses such a catalog itself
  for (const auto& row : catalog.rows) CheckPropertyBlob(row[properties].text);
}

}  // namespace

void ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table, RowSink& sink) {
  WarningCapture warnings;
  Handle mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw AccessError("le fichier " + path + " n'est pas une base de données Access lisible");
  if (PageCount(mdb.get()) * static_cast<uint64_t>(mdb->fmt->pg_size) != std::filesystem::file_size(path))
    throw AccessError("le fichier " + path + " est tronqué (sa taille n'est pas un nombre entier de pages)");
  // libmdb would read a protected database as if it had no password.
  const std::vector<uint8_t> header = PageCount(mdb.get()) > 0 ? ReadPageCopy(mdb.get(), 0) : std::vector<uint8_t>{};
  if (HasDatabasePassword(header.data(), header.size(), IS_JET3(mdb.get())))
    throw AccessError("la base de données " + path + " est protégée par un mot de passe");
  auto catalog_damaged = [&](const std::string& why) {
    return AccessError("le catalogue de la base de données " + path + " est endommagé : " + why);
  };
  try {
    CheckCatalogProperties(mdb.get(), warnings);
  } catch (const AccessError& e) {
    throw catalog_damaged(e.what());
  }
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) throw AccessError("le catalogue de la base de données " + path + " est illisible");
  try {
    CheckWarnings(warnings);
  } catch (const AccessError& e) {
    throw catalog_damaged(e.what());
  }
  FileContents contents;
  MdbCatalogEntry* wanted = nullptr;
  MdbCatalogEntry* wanted_folded = nullptr;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (!mdb_is_user_table(entry)) continue;
    if (entry->object_name[0] == '\0') throw catalog_damaged("une table n'a pas de nom");
    contents.table_names.push_back(entry->object_name);
    if (!table) continue;
    if (*table == entry->object_name) wanted = entry;
    else if (!wanted_folded && EqualsIgnoreCase(*table, entry->object_name)) wanted_folded = entry;
  }
  if (!table) {
    sink.Begin(contents);
    return;
  }
  if (!wanted) wanted = wanted_folded;
  if (!wanted) throw AccessError("la table " + *table + " n'existe pas dans " + path);
  try {
    ReadTable(mdb.get(), wanted, contents, sink, warnings);
  } catch (const AccessError& e) {
    throw AccessError("la table " + std::string(wanted->object_name) + " est endommagée : " + e.what());
  }
}

FileContents ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table) {
  Collector collector;
  ReadWithLibmdb(path, table, collector);
  return std::move(collector.contents);
}

}  // namespace tabulor::db::access
