#pragma once
// INI files as Windows reads them: sections and keys found without regard to
// case, the first occurrence wins, values trimmed and unquoted; 8-bit cp1252
// text, unless the file is UTF-8 (edited on Linux, or with a byte-order mark).
// Writing one key rewrites its line only and leaves the rest of the file as it
// was (comments, order, line ends, encoding).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulor::shell {

class IniFile {
 public:
  // Reads the file now; a missing or unreadable file reads as empty.
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  // UTF-8 value of the key, nullopt when the section or the key is absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // A value that is not a 32-bit integer (decimal, or hex with "0x" or "$") gives the fallback.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  // Read as an integer: 0 is false, any other integer true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Replaces the key's value, or adds the key at the end of its section (the
  // section at the end of the file), and writes the file at once. Throws
  // std::runtime_error when the file cannot be written.
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);

 private:
  struct Location {
    size_t section_line;               // the "[section]" line
    size_t end_line;                   // one past its last line
    std::optional<size_t> key_line;
  };
  std::optional<Location> Locate(std::string_view section, std::string_view key) const;
  void Save() const;

  std::string path_;
  std::string ToFile(std::string_view utf8) const;
  std::string FromFile(std::string_view bytes) const;

  std::vector<std::string> lines_;  // the file's bytes, without line ends
  std::string line_end_ = "\r\n";
  bool ends_with_line_end_ = true;
  bool utf8_ = false;    // the file's text is UTF-8 rather than cp1252
  std::string bom_;      // a UTF-8 byte-order mark, kept on rewriting
};

// The integer forms INI readers accept: optional blanks and sign, decimal
// digits, or hex after "0x"/"$". Nullopt for anything else or out of range.
std::optional<int32_t> ParseIniInteger(std::string_view text);

}  // namespace tabulor::shell
