#include "data_table.h"

#include <zlib.h>

#include <random>

#include "db/schema/generator/random.h"
#include "db/schema/generator/signal.h"
#include "db/schema/layout.h"
#include "db/schema/tables.h"

namespace tabulor::compress::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  path_ = fs::temp_directory_path() / ("tabulor-compress-" + std::to_string(rd()) + std::to_string(rd()));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

db::Blob Acquisition(int images, int dim, uint64_t seed) {
  schema::Rng rng(seed);
  return schema::AcquisitionFrames(images, dim, rng);
}

db::Blob Deflated(const db::Blob& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  db::Blob out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::optional<db::Blob> InflateWhole(const db::Blob& stored) {
  z_stream s{};
  if (inflateInit(&s) != Z_OK) return std::nullopt;
  db::Blob out;
  uint8_t chunk[65536];
  s.next_in = const_cast<Bytef*>(stored.data());
  s.avail_in = static_cast<uInt>(stored.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    s.next_out = chunk;
    s.avail_out = sizeof chunk;
    rc = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - s.avail_out));
  }
  const bool whole = rc == Z_STREAM_END && s.avail_in == 0;
  inflateEnd(&s);
  if (!whole) return std::nullopt;
  return out;
}

std::vector<int64_t> CreateDataTable(db::Session& session, const std::string& dir, const std::vector<NewRow>& rows,
                                     int version) {
  const schema::TableSchema& data = schema::PracticeTable("Data");
  db::CreateTable(session, dir, schema::TableNameAt(data, version), schema::DefinitionAt(data, version));
  db::Table table(session, dir, "Data.DB");
  table.Open();
  std::vector<int64_t> ids;
  int n = 0;
  for (const NewRow& row : rows) {
    table.Append();
    table.FieldByName("TypeAcq").SetAsInteger(2);
    table.FieldByName("NbImages").SetAsInteger(row.images);
    table.FieldByName("DimImage").SetAsInteger(row.dim);
    table.FieldByName("Frequence").SetAsInteger(40);
    table.FieldByName("Poids").SetAsFloat(61.5 + n);
    table.FieldByName("I3").SetAsInteger(++n);
    if (!row.data.empty()) table.FieldByName("Data").SetAsBlob(row.data);
    if (db::Field* zipped = table.FindField("Zipped"); zipped && row.zipped) zipped->SetAsInteger(*row.zipped);
    table.Post();
    ids.push_back(table.FieldByName("ID_Acq").AsInteger());
  }
  table.FlushBuffers();
  return ids;
}

TableState ReadDataTable(db::Session& session, const std::string& dir) {
  db::Table table(session, dir, "Data.DB");
  table.SetReadOnly(true);
  table.Open();
  TableState state;
  for (; !table.Eof(); table.Next()) {
    RowState row;
    for (int i = 0; i < table.FieldCount(); ++i) {
      db::Field& f = table.FieldAt(i);
      if (schema::SameName(f.Name(), "Data")) row.data = f.AsBlob();
      else if (schema::SameName(f.Name(), "Zipped")) row.zipped = f.IsNull() ? std::nullopt : std::optional(f.AsInteger());
      else row.other_fields.push_back(f.Name() + "=" + (f.IsNull() ? "<null>" : f.AsString()));
    }
    row.images = table.FieldByName("NbImages").AsInteger();
    row.dim = table.FieldByName("DimImage").AsInteger();
    state[table.FieldByName("ID_Acq").AsInteger()] = std::move(row);
  }
  return state;
}

bool Taken(const RowState& row, int64_t threshold) { return row.images * row.dim > threshold && row.zipped == 0; }

std::vector<std::string> CheckRun(const TableState& before, const TableState& after, int64_t threshold,
                                  bool complete) {
  std::vector<std::string> problems;
  if (before.size() != after.size()) problems.push_back("row count changed");
  for (const auto& [id, was] : before) {
    const std::string row = "row " + std::to_string(id) + ": ";
    const auto found = after.find(id);
    if (found == after.end()) {
      problems.push_back(row + "missing");
      continue;
    }
    const RowState& now = found->second;
    if (now.other_fields != was.other_fields) problems.push_back(row + "another field changed");
    const bool unchanged = now.zipped == was.zipped && now.data == was.data;
    if (!Taken(was, threshold) || was.data.empty()) {
      if (!unchanged) problems.push_back(row + "changed although not to be compressed");
      continue;
    }
    if (unchanged) {
      if (complete) problems.push_back(row + "left raw");
      continue;
    }
    if (now.zipped != 1) {
      problems.push_back(row + "blob changed without Zipped 1");
      continue;
    }
    if (now.data.size() < 2 || now.data[0] != 0x78 || now.data[1] != 0x9C) problems.push_back(row + "no 78 9C header");
    const auto inflated = InflateWhole(now.data);
    if (!inflated) problems.push_back(row + "not exactly one zlib stream");
    else if (*inflated != was.data) problems.push_back(row + "inflates to other bytes");
  }
  return problems;
}

}  // namespace tabulor::compress::testing
