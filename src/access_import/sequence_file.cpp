#include "access_import/sequence_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace tabulor::access_import {
namespace {

void AppendFloat(std::vector<uint8_t>& blob, float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                            static_cast<uint8_t>(bits >> 24)};
  blob.insert(blob.end(), bytes, bytes + 4);
}

// A number with the settings' decimal separator, else with a point.
class NumberReader {
 public:
  explicit NumberReader(const db::TextFormats& formats) : formats_(formats), point_(formats) {
    point_.decimal_separator = '.';
  }
  float Read(std::string_view text, int64_t line) const {
    double value = 0;
    if (db::ParseNumber(text, formats_, value) == db::NumberTextError::kNone) return static_cast<float>(value);
    if (db::ParseNumber(text, point_, value) == db::NumberTextError::kNone) return static_cast<float>(value);
    throw std::runtime_error("Ligne " + std::to_string(line) + " : '" + std::string(text.substr(0, 40)) +
                             "' n'est pas une valeur numérique correcte");
  }

 private:
  const db::TextFormats& formats_;
  db::TextFormats point_;
};

// The lines of a file, read through one buffer: a line is what comes before a
// line feed or the end of the file; an empty end is no line.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("Lecture impossible : " + path);
  }
  ~LineReader() { ::close(fd_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False at the end. A line of more than `longest` characters is given cut,
  // with `too_long` set: nothing after it is read.
  bool Next(std::string_view& line, size_t longest, bool& too_long) {
    for (;;) {
      const char* start = buffer_.get() + begin_;
      const size_t held = end_ - begin_;
      if (const void* feed = std::memchr(start, '\n', held)) {
        const size_t length = static_cast<size_t>(static_cast<const char*>(feed) - start);
        begin_ += length + 1;
        return Give(start, length, longest, line, too_long);
      }
      if (held > longest || at_end_) {
        if (held == 0) return false;
        begin_ = end_;
        return Give(start, held, longest, line, too_long);
      }
      std::memmove(buffer_.get(), start, held);
      begin_ = 0;
      end_ = held;
      ssize_t n;
      do n = ::read(fd_, buffer_.get() + end_, kBufferSize - end_);
      while (n < 0 && errno == EINTR);
      if (n < 0) throw std::runtime_error("Erreur de lecture : " + path_);
      if (n == 0) at_end_ = true;
      end_ += static_cast<size_t>(n > 0 ? n : 0);
    }
  }

 private:
  static bool Give(const char* start, size_t length, size_t longest, std::string_view& line, bool& too_long) {
    too_long = length > longest;
    line = std::string_view(start, std::min(length, longest));
    return true;
  }

  std::string path_;
  int fd_;
  static constexpr size_t kBufferSize = 64 * 1024;
  std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
  size_t begin_ = 0, end_ = 0;
  bool at_end_ = false;
};

}  // namespace

std::string SequenceFileName(const std::string& code, double number) {
  if (!std::isfinite(number) || std::fabs(number) >= 1e9) throw std::runtime_error("Numéro de séquence incorrect");
  for (unsigned char c : code)
    if (c < 0x20 || c == '/' || c == '\\' || c == ':') throw std::runtime_error("Code patient incorrect : " + code);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%3.0f", number);
  std::string name = code + buffer + ".pos";
  for (char& c : name)
    if (c == ' ') c = '0';
  if (name.find("..") != std::string::npos) throw std::runtime_error("Code patient incorrect : " + code);
  return name;
}

int64_t MaxSamples(int32_t frequency) { return frequency > 0 ? int64_t{frequency} * 3600 : 0; }

int32_t ExpectedSampleCount(double duration, int32_t frequency) {
  const double samples = std::nearbyint(duration * frequency);  // the default rounding: halves to even
  if (!(samples > 0) || samples > static_cast<double>(MaxSamples(frequency)))
    throw std::runtime_error("Nombre d'échantillons incorrect : durée " + std::to_string(duration) + ", fréquence " +
                             std::to_string(frequency));
  return static_cast<int32_t>(samples);
}

std::vector<uint8_t> ReadSampleBlob(const std::string& path, int32_t expected, int64_t max_pairs,
                                    const db::TextFormats& formats) {
  LineReader file(path);
  const NumberReader numbers(formats);
  std::vector<uint8_t> blob;
  blob.reserve(static_cast<size_t>(expected) * 8);
  int64_t number = 0;
  // A line longer than this holds no pair of numbers: the file is not a sample file.
  constexpr size_t kMaxLine = 257;
  std::string_view line;
  bool too_long = false;
  while (file.Next(line, kMaxLine, too_long)) {
    ++number;
    if (too_long) throw std::runtime_error("Ligne " + std::to_string(number) + " trop longue");
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number > max_pairs) throw std::runtime_error("Fichier trop long : plus de " + std::to_string(max_pairs) + " lignes");
    if (line.empty()) throw std::runtime_error("Ligne " + std::to_string(number) + " vide");
    if (line.find('\0') != std::string_view::npos) throw std::runtime_error("Ligne " + std::to_string(number) + " illisible");
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) throw std::runtime_error("Ligne " + std::to_string(number) + " sans virgule");
    AppendFloat(blob, numbers.Read(line.substr(0, comma), number));
    AppendFloat(blob, numbers.Read(line.substr(comma + 1), number));
  }
  if (blob.size() < static_cast<size_t>(expected) * 8) blob.resize(static_cast<size_t>(expected) * 8, 0);
  return blob;
}

}  // namespace tabulor::access_import
