#include "tools/tabulor-mkmdb/jet4_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include "tools/tabulor-mkmdb/jet4_pages.h"

namespace tabulor::mkmdb {
namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint32_t kUsageMapPage = 3;
constexpr uint32_t kFirstTablePage = 4;
constexpr size_t kInlineMemoLimit = 64;
constexpr size_t kSingleLongValueLimit = 4076;
constexpr size_t kChainPieceSize = 4072;
constexpr size_t kMaxRowSize = 4060;
constexpr size_t kMemoHeaderSize = 12;

struct ColumnLayout {
  Jet4Column column;
  uint8_t type_code = 0;
  bool fixed = false;
  uint16_t number = 0;
  uint16_t var_index = 0;
  uint16_t fixed_offset = 0;
  uint16_t length = 0;
  uint8_t flags = 0;
  bool long_value() const { return column.type == Jet4Type::kMemo || column.type == Jet4Type::kOle; }
};

struct TableLayout {
  const Jet4Table* table = nullptr;
  std::vector<ColumnLayout> columns;
  uint16_t var_count = 0;
  uint16_t fixed_size = 0;
  uint32_t tdef_page = 0;
  bool system = false;
};

TableLayout Lay(const Jet4Table& table, uint32_t tdef_page, bool system) {
  TableLayout layout;
  layout.table = &table;
  layout.tdef_page = tdef_page;
  layout.system = system;
  if (table.columns.empty() || table.columns.size() > 255) throw std::invalid_argument("table " + table.name + ": 1 to 255 columns");
  for (const Jet4Column& column : table.columns) {
    ColumnLayout c;
    c.column = column;
    c.number = static_cast<uint16_t>(layout.columns.size());
    switch (column.type) {
      case Jet4Type::kInteger: c.type_code = 0x03, c.length = 2, c.fixed = true; break;
      case Jet4Type::kLong: c.type_code = 0x04, c.length = 4, c.fixed = true; break;
      case Jet4Type::kAutoIncrement: c.type_code = 0x04, c.length = 4, c.fixed = true; break;
      case Jet4Type::kDouble: c.type_code = 0x07, c.length = 8, c.fixed = true; break;
      case Jet4Type::kDateTime: c.type_code = 0x08, c.length = 8, c.fixed = true; break;
      case Jet4Type::kText:
        if (column.max_chars < 1 || column.max_chars > 255) throw std::invalid_argument("text size of " + column.name);
        c.type_code = 0x0a, c.length = static_cast<uint16_t>(2 * column.max_chars);
        break;
      case Jet4Type::kMemo: c.type_code = 0x0c; break;
      case Jet4Type::kOle: c.type_code = 0x0b; break;
    }
    c.flags = c.fixed ? 0x03 : 0x02;
    if (column.type == Jet4Type::kAutoIncrement) c.flags = 0x07;
    if (c.fixed) {
      c.fixed_offset = layout.fixed_size;
      layout.fixed_size = static_cast<uint16_t>(layout.fixed_size + c.length);
    } else {
      c.var_index = layout.var_count++;
    }
    layout.columns.push_back(c);
  }
  return layout;
}

// Long values of one memo column, placed on long-value pages from `first_page`.
class LongValueStore {
 public:
  explicit LongValueStore(uint32_t first_page) : first_page_(first_page) {}

  // The 12-byte header (and inline bytes) to store in the row for `bytes`.
  std::vector<uint8_t> Store(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> field(kMemoHeaderSize, 0);
    const auto length = static_cast<uint32_t>(bytes.size());
    if (length > 0xffffff) throw std::invalid_argument("memo longer than 16 MiB");
    if (bytes.size() <= kInlineMemoLimit) {
      PutU32(field, 0, length | 0x80000000u);
      AppendBytes(field, bytes);
      return field;
    }
    if (bytes.size() <= kSingleLongValueLimit) {
      PutU32(field, 0, length | 0x40000000u);
      PutU32(field, 4, Place(bytes));
      return field;
    }
    // A chain: each piece starts with the row pointer of the next one. Pieces
    // are placed from the last so that each knows its successor.
    uint32_t next = 0;
    const size_t pieces = (bytes.size() + kChainPieceSize - 1) / kChainPieceSize;
    std::vector<uint32_t> pointers(pieces);
    for (size_t k = pieces; k-- > 0;) {
      const size_t begin = k * kChainPieceSize;
      const size_t end = std::min(bytes.size(), begin + kChainPieceSize);
      std::vector<uint8_t> row;
      AppendU32(row, next);
      row.insert(row.end(), bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end));
      next = Place(row);
    }
    PutU32(field, 0, length);
    PutU32(field, 4, next);
    return field;
  }

  const std::vector<DataPage>& pages() const { return pages_; }
  std::vector<uint32_t> page_numbers() const {
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < pages_.size(); ++i) numbers.push_back(first_page_ + static_cast<uint32_t>(i));
    return numbers;
  }

 private:
  uint32_t Place(const std::vector<uint8_t>& row) {
    if (pages_.empty() || !pages_.back().Fits(row.size())) pages_.emplace_back(kLongValueOwner);
    const int row_number = pages_.back().Add(row);
    const uint32_t page = first_page_ + static_cast<uint32_t>(pages_.size() - 1);
    return (page << 8) | static_cast<uint32_t>(row_number);
  }

  uint32_t first_page_;
  std::vector<DataPage> pages_;
};

void AppendFixed(std::vector<uint8_t>& fixed, const ColumnLayout& c, const Jet4Value& value) {
  uint8_t* at = fixed.data() + c.fixed_offset;
  auto as_int = [&]() -> int32_t {
    if (const auto* v = std::get_if<int32_t>(&value)) return *v;
    throw std::invalid_argument("column " + c.column.name + " takes an integer");
  };
  switch (c.column.type) {
    case Jet4Type::kInteger: {
      const int32_t v = as_int();
      if (v < INT16_MIN || v > INT16_MAX) throw std::invalid_argument("column " + c.column.name + ": out of range");
      const auto u = static_cast<uint16_t>(v);
      std::memcpy(at, &u, 2);
      break;
    }
    case Jet4Type::kLong:
    case Jet4Type::kAutoIncrement: {
      const int32_t v = as_int();
      std::memcpy(at, &v, 4);
      break;
    }
    case Jet4Type::kDouble: {
      const double* v = std::get_if<double>(&value);
      if (!v) throw std::invalid_argument("column " + c.column.name + " takes a double");
      std::memcpy(at, v, 8);
      break;
    }
    case Jet4Type::kDateTime: {
      const auto* v = std::get_if<db::DateTime>(&value);
      if (!v) throw std::invalid_argument("column " + c.column.name + " takes a date-time");
      const double ole = v->ToOleDate();
      std::memcpy(at, &ole, 8);
      break;
    }
    default: break;
  }
}

struct BuiltTable {
  std::vector<DataPage> data_pages;
  uint32_t first_data_page = 0;
  std::map<uint16_t, LongValueStore> long_values;  // by column number
  uint32_t row_count = 0;
  int32_t autonumber = 0;
};

// Encodes the rows of `layout` onto pages from `next_page`, which advances.
BuiltTable Build(const TableLayout& layout, uint32_t& next_page) {
  const Jet4Table& table = *layout.table;
  BuiltTable built;
  std::vector<std::vector<Jet4Value>> rows = table.rows;
  // Autonumbers first: NULLs take the next number.
  for (const ColumnLayout& c : layout.columns) {
    if (c.column.type != Jet4Type::kAutoIncrement) continue;
    int32_t counter = 0;
    for (auto& row : rows)
      if (const auto* v = std::get_if<int32_t>(&row.at(c.number))) counter = std::max(counter, *v);
    for (auto& row : rows)
      if (std::holds_alternative<std::monostate>(row[c.number])) row[c.number] = ++counter;
    built.autonumber = std::max(built.autonumber, counter);
  }
  // Long values go on their own pages ahead of the table's data pages.
  std::map<std::pair<size_t, uint16_t>, std::vector<uint8_t>> long_fields;
  for (const ColumnLayout& c : layout.columns) {
    if (!c.long_value()) continue;
    auto& store = built.long_values.emplace(c.number, LongValueStore(next_page)).first->second;
    for (size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].size() != layout.columns.size()) throw std::invalid_argument("table " + table.name + ": row width");
      const Jet4Value& value = rows[r][c.number];
      if (std::holds_alternative<std::monostate>(value)) continue;
      const auto* text = std::get_if<std::string>(&value);
      if (!text || c.column.type == Jet4Type::kOle) throw std::invalid_argument("column " + c.column.name + " takes text");
      long_fields[{r, c.number}] = store.Store(Ucs2(*text));
    }
    next_page += static_cast<uint32_t>(store.pages().size());
  }
  built.first_data_page = next_page;
  const size_t mask_size = (layout.columns.size() + 7) / 8;
  for (size_t r = 0; r < rows.size(); ++r) {
    const auto& values = rows[r];
    if (values.size() != layout.columns.size()) throw std::invalid_argument("table " + table.name + ": row width");
    std::vector<uint8_t> fixed(layout.fixed_size, 0);
    std::vector<std::vector<uint8_t>> variable(layout.var_count);
    std::vector<uint8_t> mask(mask_size, 0);
    for (const ColumnLayout& c : layout.columns) {
      const Jet4Value& value = values[c.number];
      if (std::holds_alternative<std::monostate>(value)) continue;
      mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
      if (c.fixed) {
        AppendFixed(fixed, c, value);
      } else if (c.long_value()) {
        variable[c.var_index] = long_fields.at({r, c.number});
      } else {
        const auto* text = std::get_if<std::string>(&value);
        if (!text) throw std::invalid_argument("column " + c.column.name + " takes text");
        variable[c.var_index] = Ucs2(*text);
        if (variable[c.var_index].size() > c.length)
          throw std::invalid_argument("column " + c.column.name + ": text longer than " +
                                      std::to_string(c.column.max_chars) + " characters");
      }
    }
    std::vector<uint8_t> row;
    AppendU16(row, static_cast<uint16_t>(layout.columns.size()));
    AppendBytes(row, fixed);
    std::vector<uint16_t> offsets;
    for (const auto& bytes : variable) {
      offsets.push_back(static_cast<uint16_t>(row.size()));
      AppendBytes(row, bytes);
    }
    if (layout.var_count > 0) {
      AppendU16(row, static_cast<uint16_t>(row.size()));  // end of the variable data
      for (size_t k = offsets.size(); k-- > 0;) AppendU16(row, offsets[k]);
      AppendU16(row, layout.var_count);
    }
    AppendBytes(row, mask);
    if (row.size() > kMaxRowSize) throw std::invalid_argument("table " + table.name + ": row too long");
    if (built.data_pages.empty() || !built.data_pages.back().Fits(row.size()))
      built.data_pages.emplace_back(layout.tdef_page);
    built.data_pages.back().Add(row);
  }
  built.row_count = static_cast<uint32_t>(rows.size());
  next_page += static_cast<uint32_t>(built.data_pages.size());
  return built;
}

Page TableDefinition(const TableLayout& layout, const BuiltTable& built, uint32_t owned_map, uint32_t free_map,
                     const std::map<uint16_t, std::pair<uint32_t, uint32_t>>& long_value_maps) {
  std::vector<uint8_t> def(0x3f, 0);
  def[0] = 0x02;
  def[1] = 0x01;
  PutU32(def, 0x0c, 1625);
  PutU32(def, 0x10, built.row_count);
  PutU32(def, 0x14, static_cast<uint32_t>(built.autonumber));
  def[0x18] = 0x01;
  def[0x28] = layout.system ? 0x53 : 0x4e;
  PutU16(def, 0x29, static_cast<uint16_t>(layout.columns.size()));
  PutU16(def, 0x2b, layout.var_count);
  PutU16(def, 0x2d, static_cast<uint16_t>(layout.columns.size()));
  PutU32(def, 0x37, owned_map);
  PutU32(def, 0x3b, free_map);
  for (const ColumnLayout& c : layout.columns) {
    std::vector<uint8_t> d(25, 0);
    d[0] = c.type_code;
    PutU32(d, 1, 1625);
    PutU16(d, 5, c.number);
    PutU16(d, 7, c.var_index);
    PutU16(d, 9, c.number);
    PutU16(d, 11, 0x0409);
    d[15] = c.flags;
    PutU16(d, 21, c.fixed_offset);
    PutU16(d, 23, c.length);
    AppendBytes(def, d);
  }
  for (const ColumnLayout& c : layout.columns) {
    const auto name = Ucs2(c.column.name);
    AppendU16(def, static_cast<uint16_t>(name.size()));
    AppendBytes(def, name);
  }
  for (const auto& [number, maps] : long_value_maps) {
    AppendU16(def, number);
    AppendU32(def, maps.first);
    AppendU32(def, maps.second);
  }
  AppendU16(def, 0xffff);
  if (def.size() > kPageSize) throw std::invalid_argument("table " + layout.table->name + ": definition too long");
  PutU32(def, 0x08, static_cast<uint32_t>(def.size()));
  PutU16(def, 0x02, static_cast<uint16_t>(kPageSize - def.size() - 8));
  def.resize(kPageSize, 0);
  return def;
}

Jet4Table Catalog(const std::vector<Jet4Table>& tables) {
  Jet4Table catalog;
  catalog.name = "MSysObjects";
  catalog.columns = {{"Id", Jet4Type::kLong},           {"ParentId", Jet4Type::kLong},
                     {"Name", Jet4Type::kText, 255},    {"Type", Jet4Type::kInteger},
                     {"DateCreate", Jet4Type::kDateTime}, {"DateUpdate", Jet4Type::kDateTime},
                     {"Flags", Jet4Type::kLong},        {"LvProp", Jet4Type::kOle}};
  const db::DateTime created{2024, 1, 1, 0, 0, 0, 0};
  const auto system_flag = static_cast<int32_t>(0x80000000u);
  auto row = [&](int32_t id, int32_t parent, const std::string& name, int32_t type, int32_t flags) {
    catalog.rows.push_back({id, parent, name, type, created, created, flags, std::monostate{}});
  };
  row(0x0f000001, 0x0f000000, "Tables", 3, system_flag);
  row(0x0f000002, 0x0f000000, "Databases", 3, system_flag);
  row(0x0f000003, 0x0f000000, "Relationships", 3, system_flag);
  row(static_cast<int32_t>(kCatalogPage), 0x0f000001, "MSysObjects", 1, system_flag);
  for (size_t i = 0; i < tables.size(); ++i)
    row(static_cast<int32_t>(kFirstTablePage + i), 0x0f000001, tables[i].name, 1, 0);
  return catalog;
}

}  // namespace

std::string BuildJet4Database(const std::vector<Jet4Table>& tables, const std::string& password) {
  const Jet4Table catalog = Catalog(tables);
  std::vector<TableLayout> layouts{Lay(catalog, kCatalogPage, true)};
  for (size_t i = 0; i < tables.size(); ++i) layouts.push_back(Lay(tables[i], kFirstTablePage + static_cast<uint32_t>(i), false));

  uint32_t next_page = kFirstTablePage + static_cast<uint32_t>(tables.size());
  std::vector<BuiltTable> built;
  for (const TableLayout& layout : layouts) built.push_back(Build(layout, next_page));

  std::map<uint32_t, Page> pages;
  DataPage maps(0);
  auto add_map = [&](const std::vector<uint32_t>& owned) {
    const auto owned_row = UsageMapRow(owned);
    if (!maps.Fits(owned_row.size() + 2 + kUsageMapRowSize)) throw std::invalid_argument("too many tables, memo columns or pages");
    const uint32_t owned_pointer = (kUsageMapPage << 8) | static_cast<uint32_t>(maps.Add(owned_row));
    const uint32_t free_pointer = (kUsageMapPage << 8) | static_cast<uint32_t>(maps.Add(UsageMapRow({})));
    return std::pair{owned_pointer, free_pointer};
  };
  for (size_t t = 0; t < layouts.size(); ++t) {
    std::vector<uint32_t> data_pages;
    for (size_t p = 0; p < built[t].data_pages.size(); ++p) {
      data_pages.push_back(built[t].first_data_page + static_cast<uint32_t>(p));
      pages[data_pages.back()] = built[t].data_pages[p].bytes();
    }
    const auto table_maps = add_map(data_pages);
    std::map<uint16_t, std::pair<uint32_t, uint32_t>> long_value_maps;
    for (const auto& [number, store] : built[t].long_values) {
      const auto numbers = store.page_numbers();
      for (size_t p = 0; p < numbers.size(); ++p) pages[numbers[p]] = store.pages()[p].bytes();
      long_value_maps[number] = add_map(numbers);
    }
    pages[layouts[t].tdef_page] = TableDefinition(layouts[t], built[t], table_maps.first, table_maps.second, long_value_maps);
  }
  pages[0] = HeaderPage(password);
  pages[1] = GlobalUsagePage(next_page);
  pages[kUsageMapPage] = maps.bytes();

  std::string file(static_cast<size_t>(next_page) * kPageSize, '\0');
  for (const auto& [number, page] : pages)
    std::memcpy(file.data() + static_cast<size_t>(number) * kPageSize, page.data(), kPageSize);
  return file;
}

void WriteJet4Database(const std::string& path, const std::vector<Jet4Table>& tables, const std::string& password) {
  const std::string bytes = BuildJet4Database(tables, password);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tabulor::mkmdb
