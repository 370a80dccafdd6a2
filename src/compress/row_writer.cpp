#include "compress/row_writer.h"

namespace tabulor::compress {

RowWriter::RowWriter(db::Session& session, std::string alias, std::string table_name, bool read_only,
                     CommitPolicy policy)
    : table_(session, std::move(alias), std::move(table_name)), policy_(policy) {
  table_.SetReadOnly(read_only);
}

RowWriter::~RowWriter() {
  try {
    Flush();
  } catch (...) {
    // Already failing: the table stays as at its last commit.
  }
}

void RowWriter::MoveTo(int64_t index, std::string_view id_acq) {
  if (!opened_) {
    table_.Open();
    id_ = &table_.FieldByName("ID_Acq");
    data_ = &table_.FieldByName("Data");
    zipped_ = &table_.FieldByName("Zipped");
    opened_ = true;
    at_ = 0;
  }
  if (index < at_) throw db::EngineError("Data.DB: a row cannot be written back after a later one", table_.TableName());
  for (; at_ < index && !table_.Eof(); ++at_) table_.Next();
  if (table_.Eof() || id_->AsString() != id_acq)
    throw db::EngineError("Data.DB changed while it was being compressed: acquisition " + std::string(id_acq) +
                              " is no longer where it was read",
                          table_.TableName());
}

void RowWriter::Store(int64_t index, std::string_view id_acq, const db::Blob& stored) {
  MoveTo(index, id_acq);
  if (pending_rows_ == 0) group_started_ = std::chrono::steady_clock::now();
  table_.Edit();
  data_->SetAsBlob(stored);
  zipped_->SetAsString("1");
  table_.Post();
  ++pending_rows_;
  pending_bytes_ += stored.size();
  if (pending_rows_ >= policy_.rows || pending_bytes_ >= policy_.bytes ||
      std::chrono::steady_clock::now() - group_started_ >= policy_.interval)
    Flush();
}

void RowWriter::Flush() {
  if (!opened_ || pending_rows_ == 0) return;
  table_.FlushBuffers();
  pending_rows_ = 0;
  pending_bytes_ = 0;
}

}  // namespace tabulor::compress
