#pragma once
// One secondary index of a table as the original engine stores it: an X file
// (a table with one record per row: the indexed fields, the table's key and
// the number of the data block that held the row) and a Y file (a B-tree over
// the X file's blocks, in the format of the primary index).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/format/header.h"
#include "db/paradox/index/case_fold.h"
#include "db/paradox/types.h"

namespace tabulor::db::index {

// A table's records with where they lie, in chain order.
struct RowRef {
  const uint8_t* record;
  int block;  // block number in the .DB file
  int slot;   // record in the block, from 0
};
// The rows are either held here or handed out one at a time by `each`, a
// record's pointer being valid only during its call.
struct TableRows {
  const format::Header* header;
  const TableDef* def;
  const format::CodePage* codec;
  std::vector<RowRef> rows;
  std::function<void(const std::function<void(const RowRef&)>&)> each;
  size_t count = 0;  // with `each`

  size_t Count() const { return each ? count : rows.size(); }
  void ForEach(const std::function<void(const RowRef&)>& f) const {
    if (each) each(f);
    else
      for (const RowRef& r : rows) f(r);
  }
};

struct IndexFiles {
  IndexDef def;
  std::vector<int> fields;        // table positions of the indexed fields, in order
  std::vector<bool> descending;   // per indexed field
  std::string x_name, y_name;     // file names in the table's directory
};

// Where each part of an X record comes from, and how two keys compare.
class KeyLayout {
 public:
  KeyLayout(const format::Header& table, int table_key_fields, const IndexFiles& index, const format::CodePage& cp);

  bool Maintained() const { return maintained_; }
  int RecordSize() const { return record_size_; }  // X record
  int KeySize() const { return key_size_; }        // the leading X fields the Y tree orders by
  int KeyFieldCount() const { return key_field_count_; }
  // The X record of a table row.
  void MakeRecord(const RowRef& row, int64_t tuple_number, uint8_t* out) const;
  // The indexed fields' part of a key made from a table record (for searches and unique tests).
  std::vector<uint8_t> IndexedPart(const uint8_t* table_record) const;
  void IndexedPart(const uint8_t* table_record, uint8_t* out) const;  // IndexedSize() bytes
  int IndexedSize() const { return indexed_size_; }
  // The bytes of the indexed part that alpha fields take (text padded with zeros).
  int TextSize() const { return text_size_; }
  // Orders two X records (or key prefixes of `n` bytes) the way the index does.
  int Compare(const uint8_t* a, const uint8_t* b, int n) const;
  // Compare(IndexedPart(table_record), key, n) for n up to IndexedSize(),
  // without making the record's key: its bytes are folded as they are compared.
  int CompareRecord(const uint8_t* table_record, const uint8_t* key, int n) const;

  // The X file's fields: indexed fields, then the key fields or the tuple locator.
  std::vector<FieldDef> XFields(const TableDef& def) const;

 private:
  struct Part {
    int from;        // offset in the table record
    int size;
    bool fold;       // alpha field of a case-insensitive index
    bool descending;
  };
  std::vector<Part> parts_;
  CaseFold fold_;
  bool maintained_;
  int indexed_size_ = 0;
  int text_size_ = 0;
  int key_size_ = 0;
  int key_field_count_ = 0;
  int record_size_ = 0;
  std::vector<int> index_fields_;
  int table_key_fields_;
};

// The indexes whose X files lie beside the table, read from their headers.
// `problems` receives a line per index file that cannot be read.
std::vector<IndexFiles> DiscoverIndexes(Env& env, const std::string& directory, const std::vector<std::string>& side_files,
                                        const TableDef& table, const format::CodePage& cp,
                                        std::vector<std::string>* problems);

// The file names a new index gets: .Xnn/.Ynn for a single-field case-sensitive
// index named after its field, .XGn/.YGn (first free n) otherwise.
void ChooseFileNames(const std::string& base, const std::vector<std::string>& taken, IndexFiles& index);

}  // namespace tabulor::db::index
