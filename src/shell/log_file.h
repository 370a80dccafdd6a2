#pragma once
// The three log files beside the program (UPGRADE.log, IMPORT.log,
// COMPRESS.log): 8-bit cp1252 text with CR LF line ends. Opening one appends
// to an existing file after a line holding one blank, or creates it.
// Every line is handed to the system as it is written, in one write, so that
// the log of a run that ends the program abruptly (a crash, a kill) holds
// every line written before; only a crash of the system itself may lose the
// last lines, as for any file not synced.
#include <string>
#include <string_view>

namespace tabulor::shell {

inline constexpr std::string_view kUpgradeLogName = "UPGRADE.log";
inline constexpr std::string_view kImportLogName = "IMPORT.log";
inline constexpr std::string_view kCompressLogName = "COMPRESS.log";

class LogFile {
 public:
  // `path` opened as described above. Every failure throws std::runtime_error
  // with a message naming the file.
  explicit LogFile(std::string path);
  // ProgramDir() + name, an existing file being found whatever its case.
  static LogFile InProgramDir(std::string_view name);
  // dir + name, likewise ("./" for an empty dir).
  static LogFile InDirectory(const std::string& dir, std::string_view name);

  LogFile(LogFile&& other) noexcept;
  LogFile& operator=(LogFile&& other) noexcept;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile();

  // One line (UTF-8 in, cp1252 on disk), written at once so that a crash keeps it.
  void WriteLine(std::string_view text);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  [[noreturn]] void Fail() const;
  std::string path_;
  int fd_ = -1;
  std::string line_;  // the line being written, its buffer kept from line to line
};

}  // namespace tabulor::shell
