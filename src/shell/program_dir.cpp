#include "shell/program_dir.h"

#include <filesystem>
#include <system_error>

namespace tabulor::shell {
namespace {
std::string& Storage() {
  static std::string dir;
  return dir;
}
}  // namespace

const std::string& ProgramDir() { return Storage(); }

void SetProgramDir(std::string dir) { Storage() = std::move(dir); }

std::string RunningProgramFile() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

std::string DirectoryWithSeparator(const std::string& file_path) {
  const auto slash = file_path.find_last_of('/');
  if (slash == std::string::npos) return "./";
  return file_path.substr(0, slash + 1);
}

}  // namespace tabulor::shell
