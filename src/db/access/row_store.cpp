#include "db/access/row_store.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

constexpr size_t kWriteBytes = size_t{1} << 20;
constexpr size_t kReadAheadBytes = size_t{256} << 10;

[[noreturn]] void Fail(const char* what) {
  throw AccessError(std::string(what) + " du fichier temporaire des lignes impossible : " + std::strerror(errno));
}

int OpenTemporary() {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::temp_directory_path(error);
  if (error) dir = "/tmp";
  int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without unnamed files: a named one, unlinked at once.
  std::string name = (dir / "tabulor-rows-XXXXXX").string();
  fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) Fail("création");
  unlink(name.c_str());
  return fd;
}

template <typename T>
void Put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Get(const char*& p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  p += sizeof value;
  return value;
}

void WriteAll(int fd, const char* data, size_t n, uint64_t at) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = pwrite(fd, data + done, n - done, static_cast<off_t>(at + done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) Fail("écriture");
    done += static_cast<size_t>(w);
  }
}

// The bytes read, fewer only at the end of the file.
size_t ReadAll(int fd, char* data, size_t n, uint64_t at) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd, data + done, n - done, static_cast<off_t>(at + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail("lecture");
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

// Decodes one cell at `p` (when `cell` is given) or steps over it.
void DecodeCell(const char*& p, Cell* cell) {
  const auto kind = static_cast<Cell::Kind>(*p++);
  if (cell) {  // a cell as Cell{} makes it, its text keeping its buffer for the next row
    cell->kind = kind;
    cell->text.clear();
    cell->integer = 0;
    cell->number = 0;
  }
  switch (kind) {
    case Cell::Kind::kNull: break;
    case Cell::Kind::kText:
    case Cell::Kind::kBytes: {
      const auto size = Get<uint64_t>(p);
      if (cell) cell->text.assign(p, size);
      p += size;
      break;
    }
    case Cell::Kind::kInteger:
    case Cell::Kind::kBoolean: {
      const auto value = Get<int64_t>(p);
      if (cell) cell->integer = value;
      break;
    }
    case Cell::Kind::kFloat:
    case Cell::Kind::kDateTime: {
      const auto value = Get<double>(p);
      if (cell) cell->number = value;
      break;
    }
  }
}

}  // namespace

RowStore::RowStore() : fd_(OpenTemporary()) {
  try {
    places_fd_ = OpenTemporary();
  } catch (...) {
    close(fd_);
    throw;
  }
}

RowStore::~RowStore() {
  if (fd_ >= 0) close(fd_);
  if (places_fd_ >= 0) close(places_fd_);
}

void RowStore::Append(const std::vector<Cell>& row) {
  const size_t start = buffer_.size();
  Put<uint32_t>(buffer_, static_cast<uint32_t>(row.size()));
  for (const Cell& cell : row) {
    buffer_.push_back(static_cast<char>(cell.kind));
    switch (cell.kind) {
      case Cell::Kind::kNull: break;
      case Cell::Kind::kText:
      case Cell::Kind::kBytes:
        Put<uint64_t>(buffer_, cell.text.size());
        buffer_ += cell.text;
        break;
      case Cell::Kind::kInteger:
      case Cell::Kind::kBoolean: Put<int64_t>(buffer_, cell.integer); break;
      case Cell::Kind::kFloat:
      case Cell::Kind::kDateTime: Put<double>(buffer_, cell.number); break;
    }
  }
  Appended(start);
}

void RowStore::Append(const EncodedRow& row) {
  const size_t start = buffer_.size();
  if (row.width > UINT32_MAX) throw AccessError("ligne trop longue pour le fichier temporaire des lignes");
  Put<uint32_t>(buffer_, static_cast<uint32_t>(row.width));
  buffer_ += row.cells;
  Appended(start);
}

void RowStore::Appended(size_t start) {
  const size_t length = buffer_.size() - start;
  if (length > UINT32_MAX) {
    buffer_.resize(start);
    throw AccessError("ligne trop longue pour le fichier temporaire des lignes");
  }
  if (new_places_.empty()) new_places_.reserve(kPlacesPerPage * kPlaceBytes);
  Put<uint64_t>(new_places_, written_ + start);
  Put<uint32_t>(new_places_, static_cast<uint32_t>(length));
  ++count_;
  if (new_places_.size() == kPlacesPerPage * kPlaceBytes) WritePlaces();
  if (buffer_.size() >= kWriteBytes) WriteBuffered();
}

void RowStore::Finish() {
  WriteBuffered();
  WritePlaces();
  std::string().swap(buffer_);  // a table read keeps no write buffers for the rest of its life
  std::string().swap(new_places_);
}

void RowStore::WritePlaces() {
  const size_t n = new_places_.size() / kPlaceBytes;
  WriteAll(places_fd_, new_places_.data(), new_places_.size(), uint64_t{count_ - n} * kPlaceBytes);
  new_places_.clear();
}

RowStore::Place RowStore::PlaceOf(size_t index) const {
  if (index >= count_) throw std::out_of_range("row index past the rows of the store");
  const size_t page = index / kPlacesPerPage;
  PlacePage* slot = nullptr;
  for (PlacePage& p : pages_)
    if (p.page == page) slot = &p;
  if (!slot) {
    slot = &*std::min_element(pages_.begin(), pages_.end(),
                              [](const PlacePage& a, const PlacePage& b) { return a.used < b.used; });
    slot->page = SIZE_MAX;
    const size_t first = page * kPlacesPerPage;
    slot->bytes.resize(std::min(kPlacesPerPage, count_ - first) * kPlaceBytes);
    if (ReadAll(places_fd_, slot->bytes.data(), slot->bytes.size(), uint64_t{first} * kPlaceBytes) != slot->bytes.size())
      throw AccessError("fichier temporaire des lignes tronqué");
    slot->page = page;
  }
  slot->used = ++uses_;
  const char* p = slot->bytes.data() + (index % kPlacesPerPage) * kPlaceBytes;
  Place place;
  place.offset = Get<uint64_t>(p);
  place.length = Get<uint32_t>(p);
  return place;
}

void RowStore::WriteBuffered() {
  WriteAll(fd_, buffer_.data(), buffer_.size(), written_);
  written_ += buffer_.size();
  buffer_.clear();
  if (buffer_.capacity() > 2 * kWriteBytes) buffer_.shrink_to_fit();
}

const char* RowStore::Load(size_t index) const {
  const auto [offset, length] = PlaceOf(index);
  const bool follows = offset == last_end_;  // the row after the last one read, in the file
  last_end_ = offset + length;
  if (offset >= chunk_start_ && offset + length <= chunk_start_ + chunk_.size()) return chunk_.data() + (offset - chunk_start_);
  // Rows read in their file order (a table walked from its first row) come
  // from one read of the stretch that follows, up to the end of the rows; any
  // other row is read alone. The rows of a small table are read whole at once.
  uint64_t start = offset;
  size_t wanted = length;
  if (written_ <= kReadAheadBytes) {
    start = 0;
    wanted = static_cast<size_t>(written_);
  } else if (follows) {
    wanted = static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(kReadAheadBytes, length), written_ - offset));
  }
  chunk_.resize(wanted);
  chunk_start_ = start;
  size_t done = 0;
  while (done < wanted) {
    const ssize_t n = pread(fd_, chunk_.data() + done, wanted - done, static_cast<off_t>(start + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      chunk_.clear();
      Fail("lecture");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  chunk_.resize(done);
  if (offset + length > chunk_start_ + done) {
    chunk_.clear();
    throw AccessError("fichier temporaire des lignes tronqué");
  }
  return chunk_.data() + (offset - chunk_start_);
}

void RowStore::Read(size_t index, std::vector<Cell>& row) const {
  const char* p = Load(index);
  const auto width = Get<uint32_t>(p);
  row.resize(width);
  for (Cell& cell : row) DecodeCell(p, &cell);
}

void RowStore::ReadCell(size_t index, size_t column, Cell& cell) const {
  const char* p = Load(index);
  const auto width = Get<uint32_t>(p);
  if (column >= width) {
    cell = Cell{};
    return;
  }
  for (size_t i = 0; i < column; ++i) DecodeCell(p, nullptr);
  DecodeCell(p, &cell);
}

void RowStore::ScanColumn(size_t column, const std::function<void(size_t, Cell&&)>& each) const {
  std::string chunk;
  uint64_t chunk_start = 0;
  for (size_t i = 0; i < count_; ++i) {
    const auto [start, length] = PlaceOf(i);
    const uint64_t end = start + length;
    if (start < chunk_start || end > chunk_start + chunk.size()) {  // the next stretch of the file
      chunk.resize(std::max<size_t>(kWriteBytes, length));
      size_t done = 0;
      while (done < chunk.size()) {
        const ssize_t n = pread(fd_, chunk.data() + done, chunk.size() - done, static_cast<off_t>(start + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("lecture");
        if (n == 0) break;
        done += static_cast<size_t>(n);
      }
      chunk.resize(done);
      chunk_start = start;
      if (end > chunk_start + chunk.size()) throw AccessError("fichier temporaire des lignes tronqué");
    }
    const char* p = chunk.data() + (start - chunk_start);
    const auto width = Get<uint32_t>(p);
    Cell cell;
    if (column < width) {
      for (size_t c = 0; c < column; ++c) DecodeCell(p, nullptr);
      DecodeCell(p, &cell);
    }
    each(i, std::move(cell));
  }
}

void RowStore::Reorder(const std::vector<uint32_t>& order) {
  std::string places(count_ * kPlaceBytes, '\0');
  if (ReadAll(places_fd_, places.data(), places.size(), 0) != places.size())
    throw AccessError("fichier temporaire des lignes tronqué");
  std::string page;
  page.reserve(kPlacesPerPage * kPlaceBytes);
  uint64_t at = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] >= count_) throw std::out_of_range("row index past the rows of the store");
    page.append(places, size_t{order[i]} * kPlaceBytes, kPlaceBytes);
    if (page.size() == kPlacesPerPage * kPlaceBytes || i + 1 == order.size()) {
      WriteAll(places_fd_, page.data(), page.size(), at);
      at += page.size();
      page.clear();
    }
  }
  count_ = order.size();
  for (PlacePage& p : pages_) p = PlacePage{};
}

}  // namespace tabulor::db::access
