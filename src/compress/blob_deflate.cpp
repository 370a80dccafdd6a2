#include "compress/blob_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace tabulor::compress {
namespace {

[[noreturn]] void Fail(const z_stream& stream, int code) {
  std::string text = "zlib could not compress an acquisition (";
  text += stream.msg ? stream.msg : std::to_string(code);
  text += ")";
  throw std::runtime_error(text);
}

// zlib counts its buffers in 32-bit units; larger blobs are fed in slices.
constexpr size_t kSlice = std::numeric_limits<uInt>::max() / 2;

}  // namespace

db::Blob DeflateBlob(std::span<const uint8_t> raw) {
  z_stream stream{};
  int rc = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) Fail(stream, rc);
  struct End {
    z_stream* s;
    ~End() { deflateEnd(s); }
  } end{&stream};

  db::Blob out(deflateBound(&stream, static_cast<uLong>(std::min<size_t>(raw.size(), std::numeric_limits<uLong>::max()))));
  size_t consumed = 0, produced = 0;
  do {
    const size_t in_now = std::min(raw.size() - consumed, kSlice);
    stream.next_in = const_cast<Bytef*>(raw.data() + consumed);
    stream.avail_in = static_cast<uInt>(in_now);
    const bool last = consumed + in_now == raw.size();
    do {
      if (out.size() - produced < 64) out.resize(out.size() + out.size() / 2 + 1024);
      const size_t out_now = std::min(out.size() - produced, kSlice);
      stream.next_out = out.data() + produced;
      stream.avail_out = static_cast<uInt>(out_now);
      rc = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      if (rc == Z_STREAM_ERROR) Fail(stream, rc);
      produced += out_now - stream.avail_out;
    } while (stream.avail_in > 0 || (last && rc != Z_STREAM_END));
    consumed += in_now;
  } while (consumed < raw.size());
  out.resize(produced);
  return out;
}

}  // namespace tabulor::compress
