#include "pxlib_reader.h"

extern "C" {
#include <paradox.h>
}

#include <iconv.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <cstring>
#include <string>

#include "db/common/datetime.h"

namespace tabulor::db::testing {
namespace {

void IgnoreError(pxdoc_t*, int, const char*, void*) {}

std::string Escaped(const char* s, int len) {
  std::string out;
  for (int i = 0; i < len && s[i]; ++i) {
    char c = s[i];
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

// pxlib prints every nibble of a BCD value, noise included (as non-digits and
// digits past the 18 significant ones the engine keeps), and keeps trailing zeros.
std::string NormalizedBcd(const std::string& text) {
  std::string sign, whole, frac;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') sign = "-", ++i;
  bool in_frac = false, noise = false;
  int significant = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      in_frac = true;
      continue;
    }
    bool digit = c >= '0' && c <= '9' && !noise;
    if (!digit) noise = true;
    if (digit && (significant > 0 || c != '0')) ++significant;
    char kept = (!digit || significant > 18) ? '0' : c;
    (in_frac ? frac : whole).push_back(kept);
  }
  size_t nz = whole.find_first_not_of('0');
  whole = nz == std::string::npos ? "0" : whole.substr(nz);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = whole + (frac.empty() ? "" : "." + frac);
  return out == "0" ? out : sign + out;
}

// pxlib 0.6.8 gives a blank Long, Date or Time as INT_MIN instead of a null.
bool BlankLong(const pxval_t* v) { return v->isnull || v->value.lval == -2147483647L - 1; }

}  // namespace

std::string PxlibDump(const std::string& path, const std::string& raw_charset) {
  pxdoc_t* doc = PX_new2(IgnoreError, nullptr, nullptr, nullptr);
  if (PX_open_file(doc, path.c_str()) < 0) {
    PX_delete(doc);
    throw std::runtime_error("pxlib cannot open " + path);
  }
  const bool converted = PX_set_targetencoding(doc, "UTF-8") == 0;
  auto text = [&](const char* s, int len) {
    std::string raw(s, strnlen(s, static_cast<size_t>(len)));
    if (converted || raw_charset.empty()) return raw;
    iconv_t cd = iconv_open("UTF-8", raw_charset.c_str());
    std::string out(raw.size() * 4 + 4, '\0');
    char* in = raw.data();
    size_t in_left = raw.size(), out_left = out.size();
    char* o = out.data();
    iconv(cd, &in, &in_left, &o, &out_left);
    iconv_close(cd);
    out.resize(out.size() - out_left);
    return out;
  };
  const int nfields = PX_get_num_fields(doc);
  pxfield_t* fields = PX_get_fields(doc);
  std::string out = "#fields";
  for (int i = 0; i < nfields; ++i)
    out += "\t:" + std::to_string(static_cast<unsigned char>(fields[i].px_ftype)) + ":" + std::to_string(fields[i].px_flen);
  out += "\n";
  const int nrecords = PX_get_num_records(doc);
  char buf[128];
  for (int r = 0; r < nrecords; ++r) {
    pxval_t** vals = PX_retrieve_record(doc, r);
    if (!vals) throw std::runtime_error("pxlib cannot read record " + std::to_string(r) + " of " + path);
    for (int i = 0; i < nfields; ++i) {
      if (i) out += "\t";
      pxval_t* v = vals[i];
      const int type = static_cast<unsigned char>(fields[i].px_ftype);
      if (v->isnull) {
        out += "\\N";
        continue;
      }
      switch (type) {
        case pxfAlpha: {
          std::string t = text(v->value.str.val, v->value.str.len);
          out += Escaped(t.c_str(), static_cast<int>(t.size()));
          break;
        }
        case pxfDate:
          out += BlankLong(v) ? "\\N" : DateTime::FromOrdinalDays(static_cast<int32_t>(v->value.lval)).IsoDate();
          break;
        case pxfTime:
          out += BlankLong(v) ? "\\N" : DateTime::FromMillisecondsOfDay(static_cast<int32_t>(v->value.lval)).IsoTime();
          break;
        case pxfShort: case pxfLong: case pxfAutoInc:
          out += (type != pxfShort && BlankLong(v)) ? "\\N" : std::to_string(v->value.lval);
          break;
        case pxfCurrency: case pxfNumber:
          std::snprintf(buf, sizeof buf, "%.17g", v->value.dval);
          out += buf;
          break;
        case pxfLogical: out += v->value.lval ? "T" : "F"; break;
        case pxfTimestamp: {
          if (v->value.dval == 0) {  // pxlib does not see a blank timestamp
            out += "\\N";
            break;
          }
          int64_t ms = std::llround(v->value.dval);
          DateTime d = DateTime::FromOrdinalDays(static_cast<int32_t>(ms / 86400000));
          DateTime t = DateTime::FromMillisecondsOfDay(static_cast<int32_t>(ms % 86400000));
          d.hour = t.hour, d.minute = t.minute, d.second = t.second, d.msec = t.msec;
          out += d.IsoDateTime();
          break;
        }
        case pxfBCD: out += NormalizedBcd(v->value.str.val); break;
        case pxfBytes: {
          uLong crc = crc32(0L, Z_NULL, 0);
          crc = crc32(crc, reinterpret_cast<const Bytef*>(v->value.str.val), static_cast<uInt>(v->value.str.len));
          std::snprintf(buf, sizeof buf, "blob:%d:%08lx", v->value.str.len, static_cast<unsigned long>(crc));
          out += buf;
          break;
        }
        default: out += "?"; break;
      }
    }
    out += "\n";
    for (int i = 0; i < nfields; ++i) {
      if ((vals[i]->type == pxfAlpha || vals[i]->type == pxfBCD || vals[i]->type == pxfBytes) && vals[i]->value.str.val)
        doc->free(doc, vals[i]->value.str.val);
      doc->free(doc, vals[i]);
    }
    doc->free(doc, vals);
  }
  PX_close(doc);
  PX_delete(doc);
  return out;
}

}  // namespace tabulor::db::testing
