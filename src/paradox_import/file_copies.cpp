// The files an import copies beside the practice database: videos and letters.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "db/paradox/unit_of_work.h"
#include "paradox_import/run_tables.h"
#include "paradox_import/safe_file_name.h"
#include "shell/file_names.h"
#include "shell/ini_file.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {
namespace {

// Writes all of `from` into the new file `to` (made durable with the others before the unit lands).
bool CopyContents(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; ok && done < got;) {
      const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) ok = false;
      else done += put;
    }
    if (!ok) break;
  }
  ok = ::close(out) == 0 && ok;
  ::close(in);
  if (!ok) std::remove(to.c_str());
  return ok;
}

// The extension the copy keeps: the name's last four characters (a dot and three letters).
std::string VideoExtension(const std::string& name) { return name.size() <= 4 ? name : name.substr(name.size() - 4); }

}  // namespace

bool ImportRun::CopyNewFile(const std::string& from, const std::string& to) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(from, error) || std::filesystem::exists(to, error)) return false;
  if (noted_ahead_.erase(to) == 0) unit_->NoteCreatedFile(to);
  if (!CopyContents(from, to)) return false;
  const std::string folder = std::filesystem::path(to).parent_path().string();
  if (std::find(unsynced_folders_.begin(), unsynced_folders_.end(), folder) == unsynced_folders_.end())
    unsynced_folders_.push_back(folder);
  return true;
}

// One flush of each file system that holds copies, rather than one sync a file.
void ImportRun::SyncCopies() {
  for (const std::string& folder : unsynced_folders_) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;  // the folder went away with its copies
    const int failed = ::syncfs(fd);
    ::close(fd);
    if (failed != 0) throw std::runtime_error("Les fichiers copiés dans " + folder + " ne peuvent être écrits sur le disque");
  }
  unsynced_folders_.clear();
}

void ImportRun::RemoveCopies(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) std::remove(path.c_str());
}

std::vector<std::string> ImportRun::CopyVideoFiles(std::string& left, std::string& right) {
  std::vector<std::string> copies;
  if (left.empty() && right.empty()) return copies;
  // The settings file is read once a run and written back before the unit lands
  // (SaveVideoNumbering): a unit that does not land removes the copies, and the
  // numbers they took are free again.
  if (!video_numbering_) {
    VideoNumbering numbering;
    numbering.settings = shell::FindFileNoCase(destination_.program_dir, "Ortalis.INI");
    if (!numbering.settings) numbering.settings = shell::FindFileNoCase(destination_.program_dir, "Kestra.INI");
    if (numbering.settings) numbering.next = shell::IniFile(*numbering.settings).ReadInteger("Video", "LastIndex", 1);
    video_numbering_ = numbering;
  }
  VideoNumbering& numbering = *video_numbering_;
  if (!numbering.settings) return copies;
  for (std::string* name : {&left, &right}) {
    if (name->empty()) continue;
    const std::string from = source_.Root() + "movies/" + *name;
    const std::string copy = "media" + std::to_string(numbering.next) + VideoExtension(*name);
    const std::string to = destination_.folders.video_folder + copy;
    if (IsPlainFileName(*name) && !noted_ahead_.count(to)) NoteNextVideos(numbering.next, VideoExtension(*name));
    if (IsPlainFileName(*name) && CopyNewFile(from, to)) {
      *name = copy;
      copies.push_back(to);
      ++numbering.next;
      numbering.changed = true;
    } else {
      if (!IsPlainFileName(*name)) reporter_.Tell(*name + shell::msg::FileNotFound());
      name->clear();
    }
  }
  return copies;
}

// The names the next copies of videos take, noted in one durable write rather
// than one each; names already taken are left out (a copy is never made over
// them, and the unit must not remove them).
void ImportRun::NoteNextVideos(int32_t next, const std::string& extension) {
  constexpr int kNotedAhead = 64;
  std::vector<std::string> names;
  std::error_code error;
  for (int32_t number = next; number < next + kNotedAhead && number > 0; ++number) {
    std::string to = destination_.folders.video_folder + "media" + std::to_string(number) + extension;
    if (!std::filesystem::exists(to, error) && !noted_ahead_.count(to)) names.push_back(std::move(to));
  }
  unit_->NoteCreatedFiles(names);
  noted_ahead_.insert(names.begin(), names.end());
}

void ImportRun::SaveVideoNumbering() {
  if (!video_numbering_ || !video_numbering_->changed) return;
  shell::IniFile ini(*video_numbering_->settings);
  ini.WriteInteger("Video", "LastIndex", video_numbering_->next);
  video_numbering_->changed = false;
}

}  // namespace tabulor::paradox_import
