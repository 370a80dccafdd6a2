#include "db/access/table_data.h"

#include "db/access/text_util.h"

namespace tabulor::db::access {

const char* ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean: return "Boolean";
    case ColumnType::kByte: return "Byte";
    case ColumnType::kInteger: return "Integer";
    case ColumnType::kLongInteger: return "Long Integer";
    case ColumnType::kCurrency: return "Currency";
    case ColumnType::kSingle: return "Single";
    case ColumnType::kDouble: return "Double";
    case ColumnType::kDateTime: return "DateTime";
    case ColumnType::kBinary: return "Binary";
    case ColumnType::kText: return "Text";
    case ColumnType::kOle: return "OLE";
    case ColumnType::kMemo: return "Memo";
    case ColumnType::kGuid: return "Replication ID";
    case ColumnType::kNumeric: return "Numeric";
    case ColumnType::kComplex: return "Complex";
  }
  return "Unknown";
}

int TableData::ColumnIndex(const std::string& column) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (EqualsIgnoreCase(columns[i].name, column)) return static_cast<int>(i);
  return -1;
}

}  // namespace tabulor::db::access
