#include "access_import/sequence_file.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace tabulor::access_import {
namespace {

void AppendFloat(std::vector<uint8_t>& blob, float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) blob.push_back(static_cast<uint8_t>(bits >> shift));
}

float ReadNumber(std::string_view text, const db::TextFormats& formats, int64_t line) {
  double value = 0;
  if (db::ParseNumber(text, formats, value) == db::NumberTextError::kNone) return static_cast<float>(value);
  db::TextFormats point = formats;
  point.decimal_separator = '.';
  if (db::ParseNumber(text, point, value) == db::NumberTextError::kNone) return static_cast<float>(value);
  throw std::runtime_error("Ligne " + std::to_string(line) + " : '" + std::string(text.substr(0, 40)) +
                           "' n'est pas une valeur numérique correcte");
}

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
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("Lecture impossible : " + path);
  std::vector<uint8_t> blob;
  blob.reserve(static_cast<size_t>(expected) * 8);
  int64_t number = 0;
  // A line longer than this holds no pair of numbers: the file is not a sample file.
  constexpr std::streamsize kMaxLine = 256;
  char buffer[kMaxLine + 2];
  while (file.getline(buffer, sizeof buffer) || (file.fail() && !file.eof() && !file.bad())) {
    ++number;
    if (file.fail()) throw std::runtime_error("Ligne " + std::to_string(number) + " trop longue");
    std::string_view line(buffer, static_cast<size_t>(file.gcount()) - (file.eof() ? 0 : 1));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number > max_pairs) throw std::runtime_error("Fichier trop long : plus de " + std::to_string(max_pairs) + " lignes");
    if (line.empty()) throw std::runtime_error("Ligne " + std::to_string(number) + " vide");
    if (line.find('\0') != std::string_view::npos) throw std::runtime_error("Ligne " + std::to_string(number) + " illisible");
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) throw std::runtime_error("Ligne " + std::to_string(number) + " sans virgule");
    AppendFloat(blob, ReadNumber(line.substr(0, comma), formats, number));
    AppendFloat(blob, ReadNumber(line.substr(comma + 1), formats, number));
    if (file.eof()) break;
  }
  if (file.bad()) throw std::runtime_error("Erreur de lecture : " + path);
  if (blob.size() < static_cast<size_t>(expected) * 8) blob.resize(static_cast<size_t>(expected) * 8, 0);
  return blob;
}

}  // namespace tabulor::access_import
