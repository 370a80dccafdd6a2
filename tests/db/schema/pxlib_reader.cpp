#include "pxlib_reader.h"

extern "C" {
#include <paradox.h>
}

namespace tabulor::schema::testing {

std::optional<PxlibTable> ReadWithPxlib(const std::string& path) {
  pxdoc_t* doc = PX_new();
  if (!doc) return std::nullopt;
  if (PX_open_file(doc, path.c_str()) < 0) {
    PX_delete(doc);
    return std::nullopt;
  }
  PxlibTable table;
  const int field_count = PX_get_num_fields(doc);
  pxfield_t* fields = PX_get_fields(doc);
  int first_alpha = -1, first_alpha_offset = 0, offset = 0;
  for (int i = 0; i < field_count; ++i) {
    table.field_names.emplace_back(fields[i].px_fname);
    if (first_alpha < 0 && fields[i].px_ftype == pxfAlpha) {
      first_alpha = i;
      first_alpha_offset = offset;
    }
    offset += fields[i].px_flen;
  }
  table.records = PX_get_num_records(doc);
  std::vector<char> record(static_cast<size_t>(PX_get_recordsize(doc)));
  for (int r = 0; r < table.records; ++r) {
    if (!PX_get_record(doc, r, record.data())) continue;
    ++table.readable_records;
    if (first_alpha >= 0) {
      char* value = nullptr;
      if (PX_get_data_alpha(doc, record.data() + first_alpha_offset, fields[first_alpha].px_flen, &value) > 0 &&
          value) {
        table.first_alpha_values.emplace_back(value);
        doc->free(doc, value);
      } else {
        table.first_alpha_values.emplace_back();
      }
    }
  }
  PX_close(doc);
  PX_delete(doc);
  return table;
}

}  // namespace tabulor::schema::testing
