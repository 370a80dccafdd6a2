#pragma once
// The form in which the isolated reader process hands its result back: a
// sequence of frames (kind byte, 64-bit length, payload), so that neither
// side ever holds the encoded table whole. First the header (table names and
// the requested table's columns), then batches of rows, then either the end
// frame or an error frame; rows before an error frame are to be dropped.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/access/table_data.h"

namespace tabulor::db::access {

std::string HeaderFrame(const FileContents& header);
std::string RowsFrame(const std::vector<std::vector<Cell>>& rows);

// The frame RowsFrame makes, encoded a row at a time as the rows are read,
// in one buffer kept from frame to frame.
class RowsFrameBuilder {
 public:
  RowsFrameBuilder();
  void Add(const std::vector<Cell>& row);
  size_t Rows() const { return rows_; }
  // The frame of the rows added since the last Clear.
  std::string_view Frame();
  void Clear();

 private:
  std::string out_;
  uint64_t rows_ = 0;
};
std::string EndFrame();
std::string ErrorFrame(const std::string& message);

// Decodes frames as their bytes arrive. Throws AccessError on a malformed
// frame, or one longer than `frame_limit` bytes.
using RowHandler = std::function<void(std::vector<Cell>&&)>;
// A row as the frame carries it, checked: `width` cells, each its kind byte
// then its value (text and bytes: a 64-bit length and the bytes; the other
// kinds: 8 bytes; null: nothing), so that it can be kept without being decoded.
struct EncodedRow {
  size_t width = 0;
  std::string_view cells;
};
using EncodedRowHandler = std::function<void(const EncodedRow&)>;

class ReplyDecoder {
 public:
  explicit ReplyDecoder(size_t frame_limit) : frame_limit_(frame_limit) {}
  // Hands every row to `rows` as it is decoded instead of keeping it in the contents.
  void SetRowHandler(RowHandler rows) { rows_ = std::move(rows); }
  // Hands every row, still encoded, to `rows` (in place of a RowHandler).
  void SetEncodedRowHandler(EncodedRowHandler rows) { encoded_rows_ = std::move(rows); }
  void Feed(std::string_view bytes);
  bool Finished() const { return finished_ || error_.has_value(); }
  // The reader's own error message, when it sent one.
  const std::optional<std::string>& Error() const { return error_; }
  // The contents once the end frame came; throws AccessError before.
  FileContents Take();

 private:
  void Decode(char kind, std::string_view payload);

  size_t frame_limit_;
  std::string pending_;
  bool have_header_ = false;
  bool finished_ = false;
  std::optional<std::string> error_;
  FileContents contents_;
  RowHandler rows_;
  EncodedRowHandler encoded_rows_;
};

}  // namespace tabulor::db::access
