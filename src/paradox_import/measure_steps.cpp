// A measurement: its posturography row, its raw data row, the measurement row
// with its videos, and the norm of its posturography row.
#include "paradox_import/run_tables.h"
#include "shell/msg.h"

namespace tabulor::paradox_import {

namespace msg = shell::msg;

namespace {

// The rows a measurement stands on must exist in the source; an empty row is never invented.
void RequireRow(db::Table* table, const char* file, const std::string& key) {
  if (!table) throw std::runtime_error(std::string(file) + " absente de la base importée");
  if (!HasRow(*table)) throw std::runtime_error(std::string(file) + " : acquisition " + key + " introuvable");
}

void CopyBlob(db::Table& to, db::Table& from, const char* field) {
  to.FieldByName(field).CopyBlobFrom(from.FieldByName(field));
}

}  // namespace

void ImportRun::ImportMeasure(int64_t exam_key) {
  SourceTables& sources = source_.Tables();
  db::Table& source = sources.measures;
  const std::string kind = Text(source, "TYPE");
  const std::string measure_key = Text(source, "PK_MES");
  const bool posturography = kind == "W" || kind == "C";
  if (sources.posturo) {
    if (kind == "W") sources.posturo->SetMasterSource(&source, "FK_Dat");
    else if (kind == "C") sources.posturo->SetMasterSource(&sources.data, "VP");
  }
  db::Table* current = nullptr;  // the table whose pending row a failure abandons
  std::optional<int64_t> posturo_key;
  std::vector<std::string> copies;
  try {
    if (posturography) {
      RequireRow(sources.posturo.get(), "Posturo.DB", kind == "W" ? Text(source, "FK_DAT") : Text(sources.data, "VP"));
      db::Table& from = *sources.posturo;
      db::Table& to = *(current = &tables_->posturo);
      to.Append();
      for (const char* field : {"TypeAcq", "ID_Pla"}) CopyInteger(to, from, field);
      CopyText(to, from, "CodeType");
      for (const char* field : {"Frequence", "Duree", "TypePatient"}) CopyInteger(to, from, field);
      CopyText(to, from, "Situation");
      CopyBlob(to, from, "Data");
      CopyText(to, from, "Pointure");
      if (from.FindField("TAILLE")) CopyText(to, from, "Taille");
      to.Post();
      posturo_key = KeyOf(to, "ID_Acq");
    }
    std::optional<int64_t> data_key;
    if (kind != "W") {
      RequireRow(&sources.data, "Data.DB", Text(source, "FK_DAT"));
      db::Table& from = sources.data;
      db::Table& to = *(current = &tables_->data);
      to.Append();
      for (const char* field : {"TypeAcq", "NbImages", "Frequence", "DimImage", "ID_Pla"}) CopyInteger(to, from, field);
      to.FieldByName("Poids").SetAsFloat(from.FieldByName("Poids").AsFloat());
      CopyBlob(to, from, "Data");
      if (kind == "C") to.FieldByName("VP").SetAsInteger(*posturo_key);
      else CopyInteger(to, from, "VP");
      for (const char* field : {"I1", "I2", "I3", "I4", "I5", "I6", "I7", "I8"}) CopyInteger(to, from, field);
      // The compression flag travels with its blob, a null one included.
      if (from.FindField("ZIPPED")) to.FieldByName("Zipped").Assign(from.FieldByName("ZIPPED"));
      else to.FieldByName("Zipped").SetAsInteger(0);
      to.Post();
      data_key = KeyOf(to, "ID_Acq");
    }
    db::Table& to = *(current = &tables_->measures);
    to.Append();
    to.FieldByName("FK_EXA").SetAsInteger(exam_key);
    CopyDateTime(to.FieldByName("HEURE"), source.FieldByName("HEURE"));
    CopyText(to, source, "NOTE");
    CopyText(to, source, "TYPE");
    CopyInteger(to, source, "NBIMAGE");
    for (const char* field : {"DUREE", "FREQUENCE"})
      to.FieldByName(field).SetAsFloat(source.FieldByName(field).AsFloat());
    to.FieldByName("DIAGONALE").SetAsBoolean(source.FieldByName("DIAGONALE").AsBoolean());
    CopyInteger(to, source, "FLAG1");
    CopyInteger(to, source, "FLAG2");
    if (source_has_videos_ && source.FindField("Video_Left")) {
      std::string left_video = Text(source, "Video_Left");
      std::string right_video = Text(source, "Video_Right");
      copies = CopyVideoFiles(left_video, right_video);
      to.FieldByName("Video_Left").SetAsString(left_video);
      to.FieldByName("Video_Right").SetAsString(right_video);
    }
    if (source.FindField("Post_Seq")) to.FieldByName("POST_SEQ").SetAsBoolean(source.FieldByName("Post_Seq").AsBoolean());
    to.FieldByName("FK_USE").SetAsInteger(current_user_key_);
    to.FieldByName("FK_DAT").SetAsInteger(kind == "W" ? *posturo_key : *data_key);
    to.Post();
    Increment(Counter::kMeasuresAdded);
  } catch (const std::exception& e) {
    if (current) CancelPending(*current);
    // No row names the copies of a measurement that was not stored.
    RemoveCopies(copies);
    reporter_.TellError(msg::ErrorImportingMeasurement(), measure_key, e.what());
  }

  if (kind != "W" || !posturo_key || !norms_follow_posturo_ || !HasRow(*sources.norms) ||
      Text(*sources.norms, "NOM").empty())
    return;
  if (const std::optional<int64_t> norm = ResolveNorm(*sources.norms)) {
    db::Table& posturo = tables_->posturo;
    try {
      if (!posturo.FindKey({db::Value{*posturo_key}})) throw std::runtime_error("Posturo.DB : acquisition perdue");
      posturo.Edit();
      posturo.FieldByName("FK_Norm").SetAsInteger(*norm);
      posturo.Post();
    } catch (const std::exception& e) {
      CancelPending(posturo);
      reporter_.TellError(msg::ErrorImportingMeasurement(), measure_key, e.what());
    }
  }
}

}  // namespace tabulor::paradox_import
