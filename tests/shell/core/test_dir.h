#pragma once
// A fresh directory under the system's temporary directory, removed afterwards.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace tabulor::shell::testing {

class TestDir {
 public:
  TestDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("tabulor-shell-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TestDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // The directory with its trailing separator, as ProgramDir is.
  std::string Dir() const { return path_.string() + "/"; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tabulor::shell::testing
