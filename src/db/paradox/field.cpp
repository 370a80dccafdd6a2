// Reading and writing the fields of the current row or of the row being edited.
#include <cstring>

#include "db/paradox/engine.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/table_impl.h"
#include "db/paradox/values.h"

namespace tabulor::db {
namespace {

constexpr uint8_t kGraphicPrefix[4] = {0x01, 0x00, 0x00, 0x01};

bool IsTextMemo(FieldType t) { return t == FieldType::kMemo || t == FieldType::kFmtMemo; }

// Cuts UTF-8 text to at most `chars` characters.
std::string CutToCharacters(const std::string& s, int chars) {
  size_t i = 0;
  for (int n = 0; i < s.size() && n < chars; ++n) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
  return s.substr(0, i);
}

}  // namespace

const std::string& Field::Name() const { return table_->impl_->family->Definition().fields[index_].name; }
FieldType Field::Type() const { return table_->impl_->family->Definition().fields[index_].type; }
int Field::Size() const { return table_->impl_->family->Definition().fields[index_].size; }
int Field::Index() const { return index_; }

Blob Field::AsBlob() const {
  Table::Impl& m = *table_->impl_;
  table_->Sync();
  if (m.state != CursorState::kBrowse) {
    auto it = m.pending_blobs.find(index_);
    if (it != m.pending_blobs.end()) {
      if (Type() != FieldType::kGraphic || it->second.empty()) return it->second;
      return Blob(it->second.begin() + 8, it->second.end());
    }
    if (auto copy = m.pending_copies.find(index_); copy != m.pending_copies.end()) {
      const Table::Impl::BlobCopy& c = copy->second;
      c.source->RequireUsable();
      Blob data = c.source->ReadBlob(c.field, c.record.data());
      if (Type() == FieldType::kGraphic && data.size() >= 8) data.erase(data.begin(), data.begin() + 8);
      return data;
    }
  }
  const RowBytes rec = m.Record();
  if (!rec) return {};
  if (!IsBlobType(Type())) {
    Value v = AsVariant();
    if (auto* b = std::get_if<Blob>(&v)) return *b;
    std::string s = values::ToText(v, Type());
    return Blob(s.begin(), s.end());
  }
  Blob data = m.family->ReadBlob(index_, rec);
  // A graphic is stored behind an 8-byte prefix (kind and length).
  if (Type() == FieldType::kGraphic && data.size() >= 8 && std::memcmp(data.data(), kGraphicPrefix, 4) == 0)
    data.erase(data.begin(), data.begin() + 8);
  return data;
}

uint64_t Field::BlobSize() const {
  if (!IsBlobType(Type())) return AsBlob().size();
  Table::Impl& m = *table_->impl_;
  table_->Sync();
  if (m.state != CursorState::kBrowse && m.pending_blobs.count(index_)) return AsBlob().size();
  if (auto copy = m.pending_copies.find(index_); m.state != CursorState::kBrowse && copy != m.pending_copies.end()) {
    const Table::Impl::BlobCopy& c = copy->second;
    const auto& h = c.source->Header();
    const uint64_t length = format::ReadBlobLeader(c.record.data() + h.offsets[c.field], h.stored_sizes[c.field]).length;
    return Type() == FieldType::kGraphic && length >= 8 ? length - 8 : length;
  }
  const RowBytes rec = m.Record();
  if (!rec) return 0;
  const auto& h = m.family->Header();
  return format::ReadBlobLeader(rec + h.offsets[index_], h.stored_sizes[index_]).length;
}

Value Field::AsVariant() const {
  Table::Impl& m = *table_->impl_;
  table_->Sync();
  const FieldType type = Type();
  if (IsBlobType(type)) {
    Blob b = AsBlob();
    if (b.empty()) return {};
    if (IsTextMemo(type)) {
      try {
        return m.family->Codec().ToUtf8(std::string(b.begin(), b.end()));
      } catch (const std::exception& e) {
        m.family->Fail(e.what(), Name());
      }
    }
    return b;
  }
  const RowBytes rec = m.Record();
  if (!rec) return {};
  const auto& h = m.family->Header();
  try {
    return format::DecodeField(type, rec + h.offsets[index_], h.stored_sizes[index_], m.family->Codec());
  } catch (const std::exception& e) {
    m.family->Fail(e.what(), Name());
  }
}

bool Field::IsNull() const {
  if (IsBlobType(Type())) {
    // A blob is null when its leader is blank; an empty but stamped one is not.
    Table::Impl& m = *table_->impl_;
    table_->Sync();
    if (m.state != CursorState::kBrowse) {
      if (auto it = m.pending_blobs.find(index_); it != m.pending_blobs.end()) return it->second.empty();
      if (m.pending_copies.count(index_)) return false;  // a blob in a blob file is never empty
    }
    const RowBytes rec = m.Record();
    if (!rec) return true;
    const auto& h = m.family->Header();
    return format::ReadBlobLeader(rec + h.offsets[index_], h.stored_sizes[index_]).IsBlank();
  }
  return tabulor::db::IsNull(AsVariant());
}

std::string Field::AsString() const { return values::ToText(AsVariant(), Type()); }

int64_t Field::AsInteger() const {
  try {
    return values::ToInteger(AsVariant());
  } catch (const std::exception& e) {
    table_->impl_->family->Fail(e.what(), Name());
  }
}

double Field::AsFloat() const {
  try {
    return values::ToFloat(AsVariant());
  } catch (const std::exception& e) {
    table_->impl_->family->Fail(e.what(), Name());
  }
}

bool Field::AsBoolean() const {
  try {
    return values::ToBoolean(AsVariant());
  } catch (const std::exception& e) {
    table_->impl_->family->Fail(e.what(), Name());
  }
}

DateTime Field::AsDateTime() const {
  try {
    return values::ToDateTime(AsVariant());
  } catch (const std::exception& e) {
    table_->impl_->family->Fail(e.what(), Name());
  }
}

void Field::SetAsVariant(const Value& v) {
  Table::Impl& m = *table_->impl_;
  if (m.state != CursorState::kEdit && m.state != CursorState::kAppend)
    m.family->Fail("the table is not in edit or append mode", Name());
  const FieldDef& fd = m.family->Definition().fields[index_];
  try {
    if (IsBlobType(fd.type)) {
      // Bytes are stored as given (for a memo: text already in the table's code page).
      Value kind = std::holds_alternative<Blob>(v) ? v : values::ToFieldKind(fd.type, fd.size, v);
      Blob bytes;
      if (auto* s = std::get_if<std::string>(&kind)) {
        std::string encoded = m.family->Codec().FromUtf8(*s);
        bytes.assign(encoded.begin(), encoded.end());
      } else if (auto* b = std::get_if<Blob>(&kind)) {
        bytes = *b;
      }
      if (fd.type == FieldType::kGraphic && !bytes.empty()) {
        Blob prefixed(kGraphicPrefix, kGraphicPrefix + 4);
        uint32_t n = static_cast<uint32_t>(bytes.size());
        for (int i = 0; i < 4; ++i) prefixed.push_back(static_cast<uint8_t>(n >> (8 * i)));
        prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
        bytes = std::move(prefixed);
      }
      m.pending_copies.erase(index_);
      m.pending_blobs[index_] = std::move(bytes);
      return;
    }
    Value kind = values::ToFieldKind(fd.type, fd.size, v);
    if (fd.type == FieldType::kAlpha)
      if (auto* s = std::get_if<std::string>(&kind)) kind = CutToCharacters(*s, fd.size);
    // Encoded aside first: a value that does not fit leaves the field as it was.
    const auto& h = m.family->Header();
    std::vector<uint8_t> encoded(static_cast<size_t>(h.stored_sizes[index_]));
    format::EncodeField(fd.type, kind, encoded.data(), h.stored_sizes[index_], fd.size, m.family->Codec());
    std::memcpy(m.buffer.data() + h.offsets[index_], encoded.data(), encoded.size());
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    m.family->Fail(e.what(), Name());
  }
}

void Field::SetAsString(std::string_view v) { SetAsVariant(std::string(v)); }
void Field::SetAsInteger(int64_t v) { SetAsVariant(v); }
void Field::SetAsFloat(double v) { SetAsVariant(v); }
void Field::SetAsBoolean(bool v) { SetAsVariant(v); }
void Field::SetAsDateTime(const DateTime& v) { SetAsVariant(v); }
void Field::SetAsBlob(std::span<const uint8_t> bytes) { SetAsVariant(Blob(bytes.begin(), bytes.end())); }
void Field::Clear() { SetAsVariant(Value{}); }

void Field::Assign(const Field& other) {
  // Memo to memo keeps the text (converted between code pages); bytes stay bytes.
  if (IsBlobType(Type()) && IsBlobType(other.Type()) && !(IsTextMemo(Type()) && IsTextMemo(other.Type()))) {
    Blob b = other.AsBlob();
    SetAsBlob(b);
    return;
  }
  SetAsVariant(other.AsVariant());
}

void Field::CopyBlobFrom(const Field& other) {
  Table::Impl& m = *table_->impl_;
  if (m.state != CursorState::kEdit && m.state != CursorState::kAppend)
    m.family->Fail("the table is not in edit or append mode", Name());
  if (!IsBlobType(Type()) || !IsBlobType(other.Type())) m.family->Fail("not a blob field", Name());
  Table::Impl& o = *other.table_->impl_;
  const bool same_kind = Type() == other.Type() &&
                         (!IsTextMemo(Type()) || m.family->Codec().Charset() == o.family->Codec().Charset());
  if (!same_kind) {
    Assign(other);
    return;
  }
  other.table_->Sync();
  // Pending blobs are held in their stored form, as the blob file gives them. A
  // blob in the source's blob file is only located here and read when the row
  // is posted, a piece at a time: however large, it is never held whole.
  Blob bytes;
  if (auto it = o.pending_blobs.find(other.index_); o.state != CursorState::kBrowse && it != o.pending_blobs.end()) {
    bytes = it->second;
  } else if (auto copy = o.pending_copies.find(other.index_);
             o.state != CursorState::kBrowse && copy != o.pending_copies.end()) {
    Table::Impl::BlobCopy c = copy->second;
    m.pending_blobs.erase(index_);
    m.pending_copies[index_] = std::move(c);
    return;
  } else if (const RowBytes rec = o.Record()) {
    if (o.family->BlobInBlobFile(other.index_, rec)) {
      o.family->CheckBlob(other.index_, rec);  // a damaged blob is refused now, as when it was read here
      m.pending_blobs.erase(index_);
      m.pending_copies[index_] = {o.family, other.index_, std::vector<uint8_t>(rec.data(), rec.data() + o.family->RecordSize())};
      return;
    }
    bytes = o.family->ReadBlob(other.index_, rec);
  }
  m.pending_copies.erase(index_);
  m.pending_blobs[index_] = std::move(bytes);
}

}  // namespace tabulor::db
