#include "db/paradox/storage/journal.h"

#include <cstring>
#include <stdexcept>

#include "db/paradox/format/bytes.h"
#include "db/paradox/storage/unit_journal.h"

namespace tabulor::db::storage {
namespace {

constexpr char kHeaderMagic[8] = {'T', 'B', 'L', 'J', 'N', 'L', '0', '1'};
// The header of a journal that belongs to a unit of work: the unit journal's name follows the magic.
constexpr char kUnitHeaderMagic[8] = {'T', 'B', 'L', 'J', 'N', 'L', '0', '2'};
constexpr char kCommitMagic[8] = {'T', 'B', 'L', 'J', 'N', 'L', 'O', 'K'};

uint64_t Fnv1a(const uint8_t* p, size_t n, uint64_t h = 1469598103934665603ull) {
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint64_t Get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

Journal::Journal(Env& env, std::string directory, std::string journal_name)
    : env_(env), directory_(std::move(directory)), name_(std::move(journal_name)) {}

void Journal::AddFile(PagedFile* file, std::string name) {
  files_.push_back({file, std::move(name)});
  file->SetBeforeChange([this] { Begin(); });
}

void Journal::Begin() {
  if (active_) return;
  std::vector<uint8_t> head;
  if (unit_) {
    unit_->AddMember(name_);
    head.assign(kUnitHeaderMagic, kUnitHeaderMagic + 8);
    Put32(head, static_cast<uint32_t>(unit_->Name().size()));
    head.insert(head.end(), unit_->Name().begin(), unit_->Name().end());
    for (auto& e : files_) e.file->BeginUnit();
  } else {
    head.assign(kHeaderMagic, kHeaderMagic + 8);
  }
  Put32(head, static_cast<uint32_t>(files_.size()));
  for (const auto& e : files_) {
    Put32(head, static_cast<uint32_t>(e.name.size()));
    head.insert(head.end(), e.name.begin(), e.name.end());
    Put64(head, e.file->CommittedSize());
  }
  Put64(head, Fnv1a(head.data(), head.size()));
  journal_ = env_.Open(JournalPath(), OpenMode::kCreate);
  journal_->WriteAt(0, head.data(), head.size());
  journal_->Sync();
  env_.SyncDirectory(directory_);
  journal_size_ = head.size();
  active_ = true;
}

void Journal::Commit() {
  bool any = false;
  for (const auto& e : files_) any = any || e.file->HasChanges();
  if (!any) return;
  Begin();
  // The original bytes of every committed range about to change.
  uint64_t checksum = 1469598103934665603ull;
  uint32_t count = 0;
  std::vector<uint8_t> rec;
  std::vector<std::vector<ByteRange>> journaled(files_.size());
  for (size_t i = 0; i < files_.size(); ++i) {
    journaled[i] = files_[i].file->RangesToJournal();
    for (const ByteRange& r : journaled[i]) {
      for (uint64_t off = r.offset; off < r.offset + r.length;) {
        uint64_t len = std::min<uint64_t>(r.offset + r.length - off, 1 << 20);
        rec.clear();
        Put32(rec, static_cast<uint32_t>(i));
        Put64(rec, off);
        Put32(rec, static_cast<uint32_t>(len));
        size_t at = rec.size();
        rec.resize(at + len);
        files_[i].file->ReadCommitted(off, rec.data() + at, len);
        checksum = Fnv1a(rec.data(), rec.size(), checksum);
        journal_->WriteAt(journal_size_, rec.data(), rec.size());
        journal_size_ += rec.size();
        ++count;
        off += len;
      }
    }
  }
  // A unit's flush that overwrites nothing from before the unit (appends, and
  // pages the unit already wrote) has no undo to add: rolling back cuts the
  // files to their sizes in the header.
  if (count > 0 || !unit_) {
    std::vector<uint8_t> tail(kCommitMagic, kCommitMagic + 8);
    Put32(tail, count);
    Put64(tail, checksum);
    journal_->WriteAt(journal_size_, tail.data(), tail.size());
    journal_->Sync();
    journal_size_ += tail.size();
  }

  for (size_t i = 0; i < files_.size(); ++i) files_[i].file->MarkJournaled(journaled[i]);
  // Inside a unit the files are synced once, before it commits (SyncUnitFiles).
  for (auto& e : files_)
    if (e.file->HasChanges()) e.file->WriteBack(!unit_);
  if (unit_) {
    // The flush is on disk; the journal keeps it undoable until the unit ends.
    for (auto& e : files_) e.file->EndTransaction();
    return;
  }
  journal_.reset();
  env_.Remove(JournalPath());
  env_.SyncDirectory(directory_);
  for (auto& e : files_) e.file->EndTransaction();
  active_ = false;
}

void Journal::SyncUnitFiles() {
  for (auto& e : files_) e.file->SyncWritten();
}

void Journal::JoinUnit(UnitJournal* unit) {
  if (active_) throw std::logic_error("a journal joins a unit between transactions");
  unit_ = unit;
}

void Journal::FinishUnit() {
  if (active_) {
    journal_.reset();
    env_.Remove(JournalPath());
    env_.SyncDirectory(directory_);
  }
  LeaveUnit();
}

void Journal::LeaveUnit() {
  journal_.reset();
  for (auto& e : files_) e.file->EndUnit();
  active_ = false;
  unit_ = nullptr;
}

namespace {

// The unit journal a journal names; empty for a journal of a single flush or
// one whose header was cut short.
std::string UnitOf(const std::vector<uint8_t>& data) {
  if (data.size() < 12 || std::memcmp(data.data(), kUnitHeaderMagic, 8) != 0) return {};
  uint32_t len = format::GetLe32(data.data() + 8);
  if (len > 4096 || 12 + len > data.size()) return {};
  return std::string(reinterpret_cast<const char*>(data.data() + 12), len);
}

std::vector<uint8_t> ReadJournal(Env& env, const std::string& path) {
  std::vector<uint8_t> data;
  auto f = env.Open(path, OpenMode::kRead);
  data.resize(static_cast<size_t>(f->Size()));
  data.resize(f->ReadAt(0, data.data(), data.size()));
  return data;
}

}  // namespace

bool Journal::Recover(Env& env, const std::string& directory, const std::string& journal_name) {
  const std::string path = directory + "/" + journal_name;
  if (!env.FileExists(path)) return false;
  const std::string unit = UnitOf(ReadJournal(env, path));
  if (!unit.empty()) {
    const std::string unit_path = directory + "/" + unit;
    if (UnitJournal::IsLive(unit_path))
      throw std::runtime_error("the table is being written by a unit of work still open in this program");
    if (env.FileExists(unit_path)) {
      UnitJournal::Recover(env, directory, unit);
    } else {
      // The unit committed before this journal could be deleted.
      env.Remove(path);
      env.SyncDirectory(directory);
    }
    return true;
  }
  RollBack(env, directory, journal_name);
  return true;
}

void Journal::RollBack(Env& env, const std::string& directory, const std::string& journal_name) {
  const std::string path = directory + "/" + journal_name;
  if (!env.FileExists(path)) return;
  std::vector<uint8_t> data = ReadJournal(env, path);
  struct Target {
    std::string name;
    uint64_t size;
  };
  std::vector<Target> targets;
  size_t pos = 8;
  bool header_ok = data.size() >= 12 && std::memcmp(data.data(), kHeaderMagic, 8) == 0;
  if (!header_ok && data.size() >= 12 && std::memcmp(data.data(), kUnitHeaderMagic, 8) == 0) {
    uint32_t len = format::GetLe32(data.data() + 8);
    pos = 12 + static_cast<size_t>(len);
    header_ok = len <= 4096 && pos + 4 <= data.size();
  }
  if (header_ok) {
    uint32_t n = format::GetLe32(data.data() + pos);
    pos += 4;
    for (uint32_t i = 0; i < n && header_ok; ++i) {
      if (pos + 4 > data.size()) { header_ok = false; break; }
      uint32_t len = format::GetLe32(data.data() + pos);
      pos += 4;
      if (len > 4096 || pos + len + 8 > data.size()) { header_ok = false; break; }
      std::string name(reinterpret_cast<const char*>(data.data() + pos), len);
      pos += len;
      targets.push_back({name, Get64(data.data() + pos)});
      pos += 8;
    }
    header_ok = header_ok && pos + 8 <= data.size() && Get64(data.data() + pos) == Fnv1a(data.data(), pos);
    pos += 8;
  }
  // A torn header means no file had been touched yet.
  if (header_ok) {
    // Page images count only when the commit record after them is whole; a
    // unit's journal holds one such segment per flush.
    struct Image { uint32_t file; uint64_t offset; size_t at; uint32_t len; };
    std::vector<Image> images;
    size_t segment_start = 0;
    uint64_t checksum = 1469598103934665603ull;
    size_t p = pos;
    while (p + 8 <= data.size()) {
      if (std::memcmp(data.data() + p, kCommitMagic, 8) == 0) {
        bool whole = p + 20 <= data.size() && format::GetLe32(data.data() + p + 8) == images.size() - segment_start &&
                     Get64(data.data() + p + 12) == checksum;
        if (!whole) break;
        segment_start = images.size();
        checksum = 1469598103934665603ull;
        p += 20;
        continue;
      }
      if (p + 16 > data.size()) break;
      uint32_t file = format::GetLe32(data.data() + p);
      uint64_t off = Get64(data.data() + p + 4);
      uint32_t len = format::GetLe32(data.data() + p + 12);
      if (file >= targets.size() || p + 16 + len > data.size()) break;
      checksum = Fnv1a(data.data() + p, 16 + len, checksum);
      images.push_back({file, off, p + 16, len});
      p += 16 + len;
    }
    images.resize(segment_start);
    std::vector<std::unique_ptr<File>> files(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
      std::string file_path = directory + "/" + targets[i].name;
      if (env.FileExists(file_path)) files[i] = env.Open(file_path, OpenMode::kReadWrite);
    }
    for (const Image& im : images)
      if (files[im.file]) files[im.file]->WriteAt(im.offset, data.data() + im.at, im.len);
    for (size_t i = 0; i < targets.size(); ++i) {
      if (!files[i]) continue;
      if (files[i]->Size() != targets[i].size) files[i]->Truncate(targets[i].size);
      files[i]->Sync();
    }
  }
  env.Remove(path);
  env.SyncDirectory(directory);
}

}  // namespace tabulor::db::storage
