// The secondary indexes a table has, read from the headers of its .Xnn/.XGn
// files (which are tables in their own right). Their rows are not read yet: a
// cursor orders the rows in memory when one is chosen.
#include "db/paradox/format/header.h"
#include "db/paradox/names.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

void TableFamily::ReadSecondaryIndexDefs() {
  for (const std::string& name : files_.secondary) {
    if (names::Upper(name.substr(name.size() - 3, 1)) != "X") continue;
    try {
      auto f = env_->Open(files_.Path(name), OpenMode::kRead);
      uint8_t prefix[4] = {};
      if (f->ReadAt(0, prefix, 4) < 4) continue;
      std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
      raw.resize(f->ReadAt(0, raw.data(), raw.size()));
      format::Header h = format::Header::Parse(raw, f->Size());
      const bool maintained = h.file_type == format::kSecondaryIndexMaintained ||
                              h.file_type == format::kCompositeIndexMaintained;
      if (!maintained && h.file_type != format::kSecondaryIndexNonMaintained &&
          h.file_type != format::kCompositeIndexNonMaintained)
        continue;
      int indexed = maintained ? h.key_fields - def_.key_field_count : static_cast<int>(h.fields.size()) - 3;
      indexed = std::clamp(indexed, 1, static_cast<int>(h.fields.size()));
      IndexDef idx;
      for (int i = 0; i < indexed; ++i) idx.fields.push_back(codec_->ToUtf8(h.fields[i].name));
      const bool composite = h.file_type == format::kCompositeIndexMaintained ||
                             h.file_type == format::kCompositeIndexNonMaintained;
      idx.name = composite ? codec_->ToUtf8(h.index_name) : idx.fields.front();
      const uint8_t options = h.raw[0x55];
      idx.case_insensitive = options & 0x01;
      idx.descending = options & 0x10;
      idx.unique = options & 0x20;
      idx.maintained = maintained;
      def_.indexes.push_back(std::move(idx));
    } catch (const std::exception& e) {
      load_problems_.push_back("secondary index " + name + ": " + e.what());
    }
  }
}

}  // namespace tabulor::db
