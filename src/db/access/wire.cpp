#include "db/access/wire.h"

#include <cstring>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

constexpr char kHeader = 'H';
constexpr char kRows = 'R';
constexpr char kEnd = 'Z';
constexpr char kError = 'E';
constexpr size_t kFrameHead = 9;

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U64(uint64_t v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void F64(double v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Str(const std::string& s) {
    U64(s.size());
    out_ += s;
  }
  std::string Frame(char kind) {
    Writer head;
    head.U8(static_cast<uint8_t>(kind));
    head.U64(out_.size());
    return head.out_ + out_;
  }

 private:
  std::string out_;
};

[[noreturn]] void Invalid() { throw AccessError("réponse invalide du lecteur de base Access"); }

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
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
    if (n > (in_.size() - pos_) / item_size) Invalid();
    return n;
  }
  bool AtEnd() const { return pos_ == in_.size(); }
  size_t Pos() const { return pos_; }
  std::string_view Since(size_t start) const { return in_.substr(start, pos_ - start); }
  // Steps over one cell, checked as a decoding would.
  void SkipCell() {
    const uint8_t kind = U8();
    if (kind > static_cast<uint8_t>(Cell::Kind::kBytes)) Invalid();
    switch (static_cast<Cell::Kind>(kind)) {
      case Cell::Kind::kNull: break;
      case Cell::Kind::kText:
      case Cell::Kind::kBytes: Take(U64()); break;
      default: Take(8); break;
    }
  }

 private:
  template <typename T>
  T Get() {
    T v;
    std::memcpy(&v, Take(sizeof v), sizeof v);
    return v;
  }
  const char* Take(uint64_t n) {
    if (n > in_.size() - pos_) Invalid();
    const char* p = in_.data() + pos_;
    pos_ += n;
    return p;
  }

  std::string_view in_;
  size_t pos_ = 0;
};

}  // namespace

std::string HeaderFrame(const FileContents& header) {
  Writer w;
  w.U64(header.table_names.size());
  for (const auto& name : header.table_names) w.Str(name);
  const TableData& t = header.table;
  w.Str(t.name);
  w.U64(t.columns.size());
  for (const auto& c : t.columns) {
    w.Str(c.name);
    w.U8(static_cast<uint8_t>(c.type));
    w.U64(static_cast<uint64_t>(c.size));
    w.U8(c.auto_increment);
  }
  return w.Frame(kHeader);
}

RowsFrameBuilder::RowsFrameBuilder() { Clear(); }

void RowsFrameBuilder::Clear() {
  out_.assign(kFrameHead + sizeof(uint64_t), '\0');  // the frame's head and the row count, written by Frame
  rows_ = 0;
}

void RowsFrameBuilder::Add(const std::vector<Cell>& row) {
  auto u64 = [&](uint64_t v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (const auto& cell : row) {
    out_.push_back(static_cast<char>(static_cast<uint8_t>(cell.kind)));
    switch (cell.kind) {
      case Cell::Kind::kNull: break;
      case Cell::Kind::kText:
      case Cell::Kind::kBytes:
        u64(cell.text.size());
        out_ += cell.text;
        break;
      case Cell::Kind::kInteger:
      case Cell::Kind::kBoolean: u64(static_cast<uint64_t>(cell.integer)); break;
      case Cell::Kind::kFloat:
      case Cell::Kind::kDateTime: out_.append(reinterpret_cast<const char*>(&cell.number), sizeof cell.number); break;
    }
  }
  ++rows_;
}

std::string_view RowsFrameBuilder::Frame() {
  out_[0] = kRows;
  const uint64_t length = out_.size() - kFrameHead;
  std::memcpy(out_.data() + 1, &length, sizeof length);
  std::memcpy(out_.data() + kFrameHead, &rows_, sizeof rows_);
  return out_;
}

std::string RowsFrame(const std::vector<std::vector<Cell>>& rows) {
  RowsFrameBuilder builder;
  for (const auto& row : rows) builder.Add(row);
  return std::string(builder.Frame());
}

std::string EndFrame() { return Writer().Frame(kEnd); }

std::string ErrorFrame(const std::string& message) {
  Writer w;
  w.Str(message);
  return w.Frame(kError);
}

void ReplyDecoder::Feed(std::string_view bytes) {
  pending_.append(bytes);
  size_t at = 0;
  while (!Finished() && pending_.size() - at >= kFrameHead) {
    uint64_t length = 0;
    std::memcpy(&length, pending_.data() + at + 1, sizeof length);
    if (length > frame_limit_) throw AccessError("le contenu dépasse la taille admise");
    if (pending_.size() - at - kFrameHead < length) break;
    Decode(pending_[at], std::string_view(pending_).substr(at + kFrameHead, length));
    at += kFrameHead + length;
  }
  pending_.erase(0, at);
  if (Finished() && !pending_.empty()) Invalid();
}

void ReplyDecoder::Decode(char kind, std::string_view payload) {
  Reader r(payload);
  if (kind == kError) {
    error_ = r.Str();
  } else if (kind == kHeader && !have_header_) {
    have_header_ = true;
    for (uint64_t n = r.Count(8); n > 0; --n) contents_.table_names.push_back(r.Str());
    TableData& t = contents_.table;
    t.name = r.Str();
    for (uint64_t n = r.Count(18); n > 0; --n) {
      ColumnInfo c;
      c.name = r.Str();
      c.type = static_cast<ColumnType>(r.U8());
      c.size = static_cast<int>(r.U64());
      c.auto_increment = r.U8() != 0;
      t.columns.push_back(std::move(c));
    }
  } else if (kind == kRows && have_header_) {
    TableData& t = contents_.table;
    const size_t width = t.columns.size();
    if (width == 0) Invalid();
    for (uint64_t i = r.Count(width); i > 0; --i) {
      if (encoded_rows_) {
        const size_t start = r.Pos();
        for (size_t c = 0; c < width; ++c) r.SkipCell();
        encoded_rows_(EncodedRow{width, r.Since(start)});
        continue;
      }
      std::vector<Cell> row(width);
      for (auto& cell : row) {
        const uint8_t cell_kind = r.U8();
        if (cell_kind > static_cast<uint8_t>(Cell::Kind::kBytes)) Invalid();
        cell.kind = static_cast<Cell::Kind>(cell_kind);
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
      if (rows_) rows_(std::move(row));
      else t.rows.push_back(std::move(row));
    }
  } else if (kind == kEnd && have_header_) {
    finished_ = true;
  } else {
    Invalid();
  }
  if (!r.AtEnd()) Invalid();
}

FileContents ReplyDecoder::Take() {
  if (!finished_ || error_) throw AccessError("réponse incomplète du lecteur de base Access");
  return std::move(contents_);
}

}  // namespace tabulor::db::access
