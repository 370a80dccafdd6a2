// The files beside the tables: letters in Documents\Mails and videos in movies.
#include <fstream>
#include <stdexcept>

#include "db/schema/generator/context.h"

namespace tabulor::schema {
namespace {

// RTF keeps non-ASCII characters as \'hh escapes of the code page (1252 here;
// the generated texts stay within Latin-1, where code points and bytes agree).
std::string RtfText(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned code = c;
    size_t length = 1;
    if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
      code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
      length = 2;
    } else if (c >= 0xE0) {
      code = '?';
      length = c >= 0xF0 ? 4 : 3;
    }
    i += length;
    if (code == '\\' || code == '{' || code == '}') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x100) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\'";
      out += kHex[code >> 4];
      out += kHex[code & 0xF];
    } else {
      out += '?';
    }
  }
  return out;
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("Cannot write " + file.string());
}

void PutLittleEndian(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

void WriteLetter(const std::filesystem::path& file, const std::string& patient, const std::string& date) {
  const std::string body = "Lyon, le " + date + "\\par\\par Cher Confrère,\\par\\par J'ai examiné ce jour " + patient +
                           " que vous m'avez adressé(e) pour un bilan postural. L'examen stabilométrique "
                           "montre une augmentation de la surface d'oscillation yeux fermés.\\par\\par "
                           "Je vous prie d'agréer, cher Confrère, l'expression de mes sentiments les meilleurs.\\par";
  WriteFile(file, "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 " + RtfText(body) + "}\r\n");
}

void WriteVideo(const std::filesystem::path& file, uint64_t seed) {
  // A RIFF AVI header followed by a short movie chunk: enough for a file that
  // players and copy tools recognise, without the weight of real footage.
  Rng rng(seed);
  std::string frames;
  for (int i = 0; i < 2048; ++i) frames += static_cast<char>(rng.Next() & 0x3F);
  std::string movie = "movi00dc";
  PutLittleEndian(movie, static_cast<uint32_t>(frames.size()));
  movie += frames;
  std::string riff = "RIFF";
  PutLittleEndian(riff, static_cast<uint32_t>(4 + 8 + movie.size()));
  riff += "AVI LIST";
  PutLittleEndian(riff, static_cast<uint32_t>(movie.size()));
  WriteFile(file, riff + movie);
}

}  // namespace tabulor::schema
