#pragma once
// State shared by the steps of one generation.
#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/schema/generator/generator.h"
#include "db/schema/generator/random.h"
#include "db/schema/generator/row_writer.h"

namespace tabulor::schema {

struct Protocol {
  int64_t key = 0;
  std::string code;
  int measures = 1;
  std::array<std::string, 4> situations;  // MES_1 .. MES_4
  std::array<int64_t, 4> norms{};          // FK_NORM_1 .. FK_NORM_4
  int duration = 25;                       // seconds
  int frequency = 40;                      // Hz
};

struct GenerationContext {
  GenerationContext(db::Session& session, std::filesystem::path root, std::string data_dir, GeneratorOptions options)
      : session(session), root(std::move(root)), data_dir(std::move(data_dir)), options(options), rng(options.seed) {}

  db::Session& session;
  std::filesystem::path root;
  std::string data_dir;
  GeneratorOptions options;
  Rng rng;
  std::map<std::string, std::unique_ptr<RowWriter>> writers;

  std::vector<int64_t> user_keys;
  std::vector<int64_t> profession_keys;
  int64_t pupil_profession_key = 0;
  std::vector<int64_t> pathology_keys;
  std::vector<int64_t> prescriber_keys;
  std::vector<int64_t> norm_keys;
  std::vector<Protocol> protocols;
  GenerationCounts counts;

  int version() const { return options.version; }
  RowWriter& Writer(const std::string& table);
};

// Row values: an empty text is stored as an empty (null) field.
inline db::Value Text(std::string text) { return text.empty() ? db::Value{} : db::Value{std::move(text)}; }
inline db::Value Int(int64_t v) { return db::Value{v}; }
// A French telephone number ("04 78 60 12 34"), mobile ones starting with 06 or 07.
std::string PhoneNumber(Rng& rng, bool mobile);

// "dd/mm/yyyy" and "hh:mm:ss", as the practice software stores dates and times in text fields.
std::string DateText(const db::DateTime& date);
std::string TimeText(const db::DateTime& time);
// The date `days` days after `date`.
db::DateTime AddDays(const db::DateTime& date, int days);

void WriteReferenceRows(GenerationContext& context);
void WritePatientRows(GenerationContext& context);
void WriteVersionRows(GenerationContext& context);
void WriteLetter(const std::filesystem::path& file, const std::string& patient, const std::string& date);
void WriteVideo(const std::filesystem::path& file, uint64_t seed);

}  // namespace tabulor::schema
