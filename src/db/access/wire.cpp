#include "db/access/wire.h"

#include <cstring>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

constexpr uint32_t kMagic = 0x4d444231;  // "MDB1"

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U64(uint64_t v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void F64(double v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Str(const std::string& s) {
    U64(s.size());
    out_ += s;
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  uint8_t U8() { return static_cast<uint8_t>(*Take(1)); }
  uint64_t U64() { return Get<uint64_t>(); }
  double F64() { return Get<double>(); }
  std::string Str() {
    const uint64_t n = U64();
    return std::string(Take(n), n);
  }
  // A count of items of at least `item_size` bytes each, checked against what is left.
  uint64_t Count(size_t item_size) {
    const uint64_t n = U64();
    if (n > (in_.size() - pos_) / item_size) Fail();
    return n;
  }
  bool AtEnd() const { return pos_ == in_.size(); }

 private:
  template <typename T>
  T Get() {
    T v;
    std::memcpy(&v, Take(sizeof v), sizeof v);
    return v;
  }
  const char* Take(uint64_t n) {
    if (n > in_.size() - pos_) Fail();
    const char* p = in_.data() + pos_;
    pos_ += n;
    return p;
  }
  [[noreturn]] static void Fail() { throw AccessError("réponse incomplète du lecteur de base Access"); }

  const std::string& in_;
  size_t pos_ = 0;
};

}  // namespace

std::string EncodeContents(const FileContents& contents) {
  Writer w;
  w.U64(kMagic);
  w.U64(contents.table_names.size());
  for (const auto& name : contents.table_names) w.Str(name);
  const TableData& t = contents.table;
  w.Str(t.name);
  w.U64(t.columns.size());
  for (const auto& c : t.columns) {
    w.Str(c.name);
    w.U8(static_cast<uint8_t>(c.type));
    w.U64(static_cast<uint64_t>(c.size));
    w.U8(c.auto_increment);
  }
  w.U64(t.rows.size());
  for (const auto& row : t.rows) {
    for (const auto& cell : row) {
      w.U8(static_cast<uint8_t>(cell.kind));
      switch (cell.kind) {
        case Cell::Kind::kNull: break;
        case Cell::Kind::kText:
        case Cell::Kind::kBytes: w.Str(cell.text); break;
        case Cell::Kind::kInteger:
        case Cell::Kind::kBoolean: w.U64(static_cast<uint64_t>(cell.integer)); break;
        case Cell::Kind::kFloat:
        case Cell::Kind::kDateTime: w.F64(cell.number); break;
      }
    }
  }
  return w.Take();
}

FileContents DecodeContents(const std::string& bytes) {
  Reader r(bytes);
  if (r.U64() != kMagic) throw AccessError("réponse invalide du lecteur de base Access");
  FileContents contents;
  for (uint64_t n = r.Count(8); n > 0; --n) contents.table_names.push_back(r.Str());
  TableData& t = contents.table;
  t.name = r.Str();
  for (uint64_t n = r.Count(18); n > 0; --n) {
    ColumnInfo c;
    c.name = r.Str();
    c.type = static_cast<ColumnType>(r.U8());
    c.size = static_cast<int>(r.U64());
    c.auto_increment = r.U8() != 0;
    t.columns.push_back(std::move(c));
  }
  const size_t width = t.columns.size();
  const uint64_t rows = width ? r.Count(width) : r.U64();
  if (!width && rows) throw AccessError("réponse invalide du lecteur de base Access");
  t.rows.reserve(rows);
  for (uint64_t i = 0; i < rows; ++i) {
    std::vector<Cell> row(width);
    for (auto& cell : row) {
      const uint8_t kind = r.U8();
      if (kind > static_cast<uint8_t>(Cell::Kind::kBytes)) throw AccessError("réponse invalide du lecteur de base Access");
      cell.kind = static_cast<Cell::Kind>(kind);
      switch (cell.kind) {
        case Cell::Kind::kNull: break;
        case Cell::Kind::kText:
        case Cell::Kind::kBytes: cell.text = r.Str(); break;
        case Cell::Kind::kInteger:
        case Cell::Kind::kBoolean: cell.integer = static_cast<int64_t>(r.U64()); break;
        case Cell::Kind::kFloat:
        case Cell::Kind::kDateTime: cell.number = r.F64(); break;
      }
    }
    t.rows.push_back(std::move(row));
  }
  if (!r.AtEnd()) throw AccessError("réponse invalide du lecteur de base Access");
  return contents;
}

}  // namespace tabulor::db::access
