#include "shell/ini_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "shell/cp1252.h"
#include "shell/file_names.h"
#include "shell/msg.h"

namespace tabulor::shell {
namespace {

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

// The section name of a "[name]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  line = Trim(line);
  return !line.empty() && line.front() == ';';
}

std::optional<std::string_view> KeyName(std::string_view line) {
  if (IsComment(line)) return std::nullopt;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size() || magnitude < 0) return std::nullopt;
  const int64_t value = negative ? -magnitude : magnitude;
  // Hex spells the 32-bit pattern (0xFFFFFFFF is -1), decimal must fit.
  if (base == 16 && !negative && value <= 0xFFFFFFFFLL) return static_cast<int32_t>(static_cast<uint32_t>(value));
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.starts_with("\xEF\xBB\xBF")) {
    bom_ = text.substr(0, 3);
    text.erase(0, 3);
    utf8_ = true;
  } else {
    utf8_ = IsNonAsciiUtf8(text);
  }
  if (text.find("\r\n") == std::string::npos && text.find('\n') != std::string::npos) line_end_ = "\n";
  ends_with_line_end_ = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    auto nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(std::move(line));
    start = nl + 1;
  }
}

std::optional<IniFile::Location> IniFile::Locate(std::string_view section, std::string_view key) const {
  const std::string wanted_section = ToFile(section);
  const std::string wanted_key = ToFile(key);
  for (size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i]);
    if (!name || !EqualsNoCase(*name, wanted_section)) continue;
    Location loc{i, lines_.size(), std::nullopt};
    for (size_t j = i + 1; j < lines_.size(); ++j) {
      if (SectionName(lines_[j])) {
        loc.end_line = j;
        break;
      }
      const auto k = KeyName(lines_[j]);
      if (!loc.key_line && k && EqualsNoCase(*k, wanted_key)) loc.key_line = j;
    }
    return loc;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  const auto loc = Locate(section, key);
  if (!loc || !loc->key_line) return std::nullopt;
  const std::string& line = lines_[*loc->key_line];
  const std::string_view value = Unquote(Trim(std::string_view(line).substr(line.find('=') + 1)));
  return FromFile(value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto value = Find(section, key);
  return value ? *value : std::string(fallback);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
  const auto value = Find(section, key);
  if (!value) return fallback;
  return ParseIniInteger(*value).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  const std::string new_line = ToFile(key) + "=" + std::to_string(value);
  const auto loc = Locate(section, key);
  if (loc && loc->key_line) {
    lines_[*loc->key_line] = new_line;
  } else if (loc) {
    // After the section's last non-blank line, so that a blank separator stays.
    size_t at = loc->end_line;
    while (at > loc->section_line + 1 && Trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), new_line);
  } else {
    lines_.push_back("[" + ToFile(section) + "]");
    lines_.push_back(new_line);
    ends_with_line_end_ = true;
  }
  Save();
}

std::string IniFile::ToFile(std::string_view utf8) const {
  return utf8_ ? std::string(utf8) : Utf8ToCp1252(utf8);
}

std::string IniFile::FromFile(std::string_view bytes) const {
  return utf8_ ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

void IniFile::Save() const {
  std::string text = bom_;
  for (size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || ends_with_line_end_) text += line_end_;
  }
  // Written beside and renamed over, so that a failed write leaves the old file whole.
  const std::string temp = path_ + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw std::runtime_error(msg::CannotWriteFile(path_, std::strerror(errno)));
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path_, ec);
  if (ec) {
    std::remove(temp.c_str());
    throw std::runtime_error(msg::CannotWriteFile(path_, ec.message()));
  }
}

}  // namespace tabulor::shell
