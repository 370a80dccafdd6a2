#include "db/access/libmdb_warnings.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {
constexpr size_t kKeptBytes = 400;
}

WarningCapture::WarningCapture() {
  std::fflush(stderr);
  capture_ = memfd_create("libmdb-warnings", MFD_CLOEXEC);
  saved_stderr_ = dup(STDERR_FILENO);
  if (capture_ < 0 || saved_stderr_ < 0 || dup2(capture_, STDERR_FILENO) < 0) {
    if (capture_ >= 0) close(capture_);
    if (saved_stderr_ >= 0) close(saved_stderr_);
    throw AccessError("capture des avertissements de libmdb impossible");
  }
}

WarningCapture::~WarningCapture() {
  std::fflush(stderr);
  dup2(saved_stderr_, STDERR_FILENO);
  close(saved_stderr_);
  close(capture_);
}

std::string WarningCapture::Take() {
  std::fflush(stderr);
  const off_t size = lseek(capture_, 0, SEEK_CUR);
  if (size <= 0) return {};
  std::string text(std::min<size_t>(static_cast<size_t>(size), kKeptBytes), '\0');
  const ssize_t n = pread(capture_, text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  if (ftruncate(capture_, 0) != 0 || lseek(capture_, 0, SEEK_SET) != 0) throw AccessError("capture des avertissements de libmdb impossible");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "?";
  return text;
}

}  // namespace tabulor::db::access
