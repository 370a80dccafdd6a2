// Patients with their examinations, clinical assessments, measurements and raw
// acquisitions, exercises and letters.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "db/schema/generator/context.h"
#include "db/schema/generator/french_data.h"
#include "db/schema/generator/signal.h"

namespace tabulor::schema {
namespace {

using db::DateTime;
using db::Value;

// The stream of a patient's rows; its identity has a stream of its own
// (identity.cpp), so that another database can share it.
constexpr uint64_t kPatientStream = 0x2A;

int AgeInYears(const std::optional<DateTime>& birth, const DateTime& today) {
  if (!birth) return 40;
  int age = today.year - birth->year;
  if (today.month < birth->month || (today.month == birth->month && today.day < birth->day)) --age;
  return age;
}

std::string Number(double v, int decimals = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

db::Blob Compress(const db::Blob& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  db::Blob out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("zlib could not compress a generated acquisition");
  out.resize(size);
  return out;
}

struct Body {
  int age;
  double weight_kg;
  int height_cm;
  int shoe_size;
};

Body BodyOf(int age, bool female, Rng& rng) {
  Body body;
  body.age = age;
  if (age < 15) {
    body.height_cm = static_cast<int>(80 + 6.2 * age + rng.Gaussian() * 5);
    body.weight_kg = 10 + 2.6 * age + rng.Gaussian() * 3;
    body.shoe_size = std::clamp(20 + age, 22, 40);
  } else {
    body.height_cm = static_cast<int>((female ? 163 : 176) + rng.Gaussian() * 7);
    body.weight_kg = (female ? 64 : 78) + rng.Gaussian() * 11;
    body.shoe_size = (female ? 38 : 43) + rng.Between(-2, 2);
  }
  return body;
}

// Sizes of raw acquisitions: NbImages × DimImage bytes on both sides of the
// compression threshold, and the odd empty one.
struct AcquisitionSize {
  int images;
  int dim;
  bool empty_blob;
};

AcquisitionSize DrawAcquisitionSize(Rng& rng) {
  static constexpr std::array<double, 5> kWeights = {0.03, 0.01, 0.03, 0.52, 0.41};
  switch (rng.Weighted(kWeights)) {
    case 0: return {0, 200, true};
    case 1: return {120, 200, true};  // an acquisition interrupted before its data was saved
    case 2: {
      static constexpr std::array<std::array<int, 2>, 3> kEdges = {{{100, 200}, {101, 200}, {100, 199}}};
      const auto& edge = kEdges[rng.Between(0, 2)];
      return {edge[0], edge[1], false};
    }
    case 3: {
      static constexpr std::array kDims = {64, 128, 160, 199, 200};
      const int dim = kDims[rng.Between(0, static_cast<int>(kDims.size()) - 1)];
      return {rng.Between(10, (kCompressionThreshold - 1) / dim), dim, false};
    }
    default: {
      static constexpr std::array kDims = {200, 256, 400};
      const int dim = kDims[rng.Between(0, static_cast<int>(kDims.size()) - 1)];
      return {rng.Between(kCompressionThreshold / dim + 1, 36000 / dim), dim, false};
    }
  }
}

class PatientWriter {
 public:
  PatientWriter(GenerationContext& c)
      : c_(c),
        patients_(c.Writer("Patient")),
        exams_(c.Writer("Examen")),
        measures_(c.Writer("Mesure")),
        data_(c.Writer("Data")),
        posturo_(c.Writer("Posturo")),
        exercises_(c.Writer("Jeu")),
        assessments_(c.Writer("Bilan")),
        documents_(c.Writer("Docs")) {}

  void Write(int index, const PatientIdentity& identity) {
    Rng rng(MixSeed(MixSeed(c_.options.seed, kPatientStream), static_cast<uint64_t>(index)));
    const DateTime& today = c_.options.today;
    const int age = AgeInYears(identity.birth_date, today);
    const bool adult = age > 14;
    const Body body = BodyOf(age, identity.female, rng);
    const int64_t user = rng.Pick(c_.user_keys);
    const french::Town& town = rng.Pick(french::Towns());
    int first_day = today.OrdinalDays() - rng.Between(30, 18 * 365);
    if (identity.birth_date) first_day = std::max(first_day, identity.birth_date->OrdinalDays() + 30);
    first_day = std::min(first_day, today.OrdinalDays() - 1);
    const DateTime record_date = DateTime::FromOrdinalDays(first_day);
    char dossier[16];
    std::snprintf(dossier, sizeof dossier, "P%07d", index + 1);

    patients_.Append();
    patients_.Set("FK_USE", Int(user));
    patients_.Set("DOSSIER", std::string(dossier));
    patients_.Set("DATE_PAT", Value{record_date});
    patients_.Set("NOM", identity.last_name);
    patients_.Set("PRENOM", Text(identity.first_name));
    if (identity.birth_date) patients_.Set("BIRTHDT", Value{*identity.birth_date});
    if (rng.Chance(0.7)) patients_.Set("BIRTHPLACE", std::string(rng.Pick(french::Towns()).name));
    patients_.Set("SEXE", std::string(identity.female ? "F" : "M"));
    patients_.Set("ADRESSE", std::to_string(rng.Between(1, 180)) + " " + rng.Pick(french::Streets()));
    patients_.Set("CP", std::string(town.postal_code));
    patients_.Set("VILLE", std::string(town.name));
    if (adult && rng.Chance(0.3)) patients_.Set("TELOFF", PhoneNumber(rng, false));
    if (rng.Chance(0.85)) patients_.Set("TELPRV", PhoneNumber(rng, rng.Chance(0.6)));
    patients_.Set("FK_PRO", Int(adult ? rng.Pick(c_.profession_keys) : c_.pupil_profession_key));
    if (rng.Chance(0.3)) patients_.Set("NOTE", Note(rng));
    patients_.Set("POINTURE", Number(body.shoe_size));
    patients_.Set("POIDS", Number(body.weight_kg));
    patients_.Set("TAILLE", Number(body.height_cm));
    patients_.Set("FLAG1", Int(0));
    patients_.Set("FLAG2", Int(0));
    patients_.Set("CLASSE", Int(adult ? 1 : 0));
    if (rng.Chance(0.2))
      for (const char* limit : {"LIMIT_H", "LIMIT_B", "LIMIT_G", "LIMIT_D"})
        patients_.Set(limit, Int(rng.Between(10, 45)));
    const int64_t patient = patients_.Post();
    ++c_.counts.patients;

    static constexpr std::array<double, 5> kExamCounts = {0.12, 0.62, 0.2, 0.04, 0.02};
    const int exams = rng.Weighted(kExamCounts);
    std::vector<int> days;
    for (int e = 0; e < exams; ++e) days.push_back(rng.Between(first_day, today.OrdinalDays()));
    std::sort(days.begin(), days.end());
    for (int day : days) WriteExamination(rng, patient, user, adult, body, DateTime::FromOrdinalDays(day));

    if (rng.Chance(0.25)) WriteExercises(rng, patient, user, first_day);
    if (rng.Chance(0.2)) WriteLetters(rng, patient, identity, dossier, first_day);
  }

 private:
  static std::string Note(Rng& rng) {
    std::string note = rng.Pick(french::ClinicalNotes());
    // Some notes outgrow the part of the memo kept in the row.
    while (rng.Chance(0.35)) note += std::string(note.empty() ? "" : " ") + rng.Pick(french::ClinicalNotes());
    return note;
  }

  void WriteExamination(Rng& rng, int64_t patient, int64_t user, bool adult, const Body& body,
                        const DateTime& date) {
    const bool prescribed = rng.Chance(0.7);
    ++exam_number_;
    char data_file[16];
    std::snprintf(data_file, sizeof data_file, "D%07lld.DAT", static_cast<long long>(exam_number_ % 10000000));
    exams_.Append();
    exams_.Set("FK_USE", Int(user));
    exams_.Set("DATE_EXA", Value{date});
    exams_.Set("FK_PAT", Int(patient));
    exams_.Set("INTITULE", std::string(rng.Pick(french::ExaminationTitles())));
    exams_.Set("POIDS", Number(body.weight_kg + rng.Gaussian()));
    exams_.Set("TAILLE", Number(body.height_cm));
    exams_.Set("POINTURE", Number(body.shoe_size));
    if (prescribed) {
      exams_.Set("FK_PRE", Int(rng.Pick(c_.prescriber_keys)));
      exams_.Set("PRESCDT", Value{AddDays(date, -rng.Between(2, 60))});
      exams_.Set("PRESC", std::string(rng.Chance(0.5) ? "Bilan postural et stabilométrique" : "Bilan podologique"));
    }
    if (rng.Chance(0.4)) exams_.Set("NOTE", Note(rng));
    exams_.Set("FK_PTH", Int(rng.Pick(c_.pathology_keys)));
    exams_.Set("FichierDataDos", std::string(data_file));
    exams_.Set("FLAG1", Int(0));
    exams_.Set("FLAG2", Int(0));
    exams_.Set("VP", Int(0));
    exams_.Set("CLASSE", Int(adult ? 1 : 0));
    const int64_t exam = exams_.Post();
    ++c_.counts.examinations;

    if (rng.Chance(0.35)) WriteAssessment(rng, exam, body);
    const Protocol& protocol = rng.Pick(c_.protocols);
    DateTime time{0, 0, 0, rng.Between(8, 18), rng.Between(0, 59), rng.Between(0, 59)};
    for (int m = 0; m < protocol.measures; ++m) {
      WriteMeasurement(rng, exam, user, adult, body, protocol, m, time);
      const int seconds = time.hour * 3600 + time.minute * 60 + time.second + rng.Between(60, 400);
      time = DateTime{0, 0, 0, std::min(seconds / 3600, 23), seconds / 60 % 60, seconds % 60};
    }
  }

  void WriteAssessment(Rng& rng, int64_t exam, const Body& body) {
    auto side = [&](const char* left, const char* right, std::span<const char* const> values) {
      assessments_.Set(left, std::string(rng.Pick(values)));
      assessments_.Set(right, std::string(rng.Pick(values)));
    };
    static constexpr std::array kSigns = {"+", "-", "="};
    static constexpr std::array kQualities = {"Souple", "Raide", "Normal"};
    assessments_.Append();
    assessments_.Set("FK_EXA", Int(exam));
    assessments_.Set("INTERRO", std::string(rng.Pick(french::ClinicalNotes())));
    side("PIED_G", "PIED_D", french::FootShapes());
    side("ARP_G", "ARP_D", french::AxisDeviations());
    side("ARPQ_G", "ARPQ_D", kSigns);
    side("AVP_G", "AVP_D", french::FootShapes());
    side("MI_G", "MI_D", french::AxisDeviations());
    side("GENOU_G", "GENOU_D", french::AxisDeviations());
    assessments_.Set("GENOU_Q", std::string(rng.Pick(std::span<const char* const>(kQualities))));
    side("BASSIN_G", "BASSIN_D", french::AxisDeviations());
    assessments_.Set("BASSIN_Q", std::string(rng.Pick(std::span<const char* const>(kQualities))));
    side("BASSIN_V_G", "BASSIN_V_D", french::AxisDeviations());
    side("EPAULES_G", "EPAULES_D", french::AxisDeviations());
    assessments_.Set("MI_TAILLE", std::string(rng.Chance(0.8) ? "Égale" : "Jambe courte G 5 mm"));
    assessments_.Set("MI_Q", std::string(rng.Pick(std::span<const char* const>(kQualities))));
    assessments_.Set("ORTHESES", std::string(rng.Chance(0.5) ? "Semelles proprioceptives" : "Aucune"));
    assessments_.Set("POINTURE", Int(body.shoe_size));
    assessments_.Set("POINTURE_DECI", std::string(rng.Chance(0.5) ? "1/2" : ""));
    assessments_.Set("STYPE", std::string(rng.Chance(0.5) ? "Ville" : "Sport"));
    assessments_.Set("SFORME", std::string(rng.Chance(0.5) ? "Large" : "Étroite"));
    if (rng.Chance(0.3)) assessments_.Set("DETAIL", Note(rng));
    assessments_.Set("FORMULES_META", Int(rng.Between(0, 3)));
    for (const char* wear : {"USURE_AI_G", "USURE_AI_D", "USURE_AE_G", "USURE_AE_D", "USURE_PI_G", "USURE_PI_D",
                             "USURE_PE_G", "USURE_PE_D", "CHAUSS_SPORT", "CHAUSS_VILLE", "CHAUSS_TALON",
                             "CHAUSS_PLAT", "CHAUSS_MES", "CHAUSS_MEDI", "CHAUSS_AUTRE"})
      assessments_.Set(wear, Value{rng.Chance(0.25)});
    assessments_.Post();
    ++c_.counts.assessments;
  }

  // Kinds of measurement: "W" a posturography acquisition, "C" one with its
  // raw data as well, "P" and "D" raw pressure acquisitions.
  void WriteMeasurement(Rng& rng, int64_t exam, int64_t user, bool adult, const Body& body,
                        const Protocol& protocol, int index, const DateTime& time) {
    static constexpr std::array<double, 4> kKindWeights = {0.45, 0.2, 0.25, 0.1};
    static constexpr std::array<const char*, 4> kKinds = {"W", "C", "P", "D"};
    const std::string kind = kKinds[rng.Weighted(kKindWeights)];
    const double duration = protocol.duration == 51 ? 51.2 : 25.6;
    const int samples = static_cast<int>(duration * protocol.frequency);

    int64_t posturo = 0;
    if (kind == "W" || kind == "C") {
      Rng blob_rng = rng.Fork(1);
      const db::Blob trace = CentreOfPressureTrace(samples, blob_rng);
      posturo_.Append();
      posturo_.Set("TypeAcq", Int(1));
      posturo_.Set("ID_Pla", Int(rng.Between(1, 3)));
      posturo_.Set("CodeType", protocol.code);
      posturo_.Set("Frequence", Int(protocol.frequency));
      posturo_.Set("TypePatient", Int(adult ? 1 : 0));
      posturo_.Set("Situation", protocol.situations[index]);
      posturo_.Set("Data", Value{trace});
      posturo_.Set("Pointure", Number(body.shoe_size));
      posturo_.Set("Duree", Int(static_cast<int>(duration)));
      posturo_.Set("Taille", Number(body.height_cm));
      posturo_.Set("FK_Norm", Int(protocol.norms[index] ? protocol.norms[index] : c_.norm_keys.front()));
      if (rng.Chance(0.05)) posturo_.Set("FK_STIMU", Int(rng.Between(1, 4)));
      posturo = posturo_.Post();
      ++c_.counts.posturo_rows;
      c_.counts.blob_bytes += static_cast<int64_t>(trace.size());
    }

    int64_t data = 0;
    int images = samples;
    double frequency = protocol.frequency;
    if (kind != "W") {
      AcquisitionSize size = DrawAcquisitionSize(rng);
      if (size.images * size.dim > kCompressionThreshold)
        size.images = std::max(1, static_cast<int>(std::lround(size.images * c_.options.acquisition_scale)));
      frequency = kind == "D" ? 100 : rng.Between(1, 4) * 25;
      images = size.images;
      data = WriteAcquisition(rng, kind, size, static_cast<int>(frequency), body.weight_kg, posturo);
    }

    measures_.Append();
    measures_.Set("HEURE", Value{time});
    if (rng.Chance(0.15)) measures_.Set("NOTE", std::string(rng.Chance(0.5) ? "Yeux fermés" : "Sur mousse"));
    measures_.Set("TYPE", kind);
    measures_.Set("NBIMAGE", Int(images));
    measures_.Set("DUREE", Value{kind == "W" || kind == "C" ? duration : images / frequency});
    measures_.Set("FREQUENCE", Value{frequency});
    measures_.Set("FK_EXA", Int(exam));
    measures_.Set("FK_USE", Int(user));
    measures_.Set("FK_DAT", Int(kind == "W" ? posturo : data));
    measures_.Set("DIAGONALE", Value{rng.Chance(0.1)});
    measures_.Set("FLAG1", Int(0));
    measures_.Set("FLAG2", Int(0));
    if (measures_.Has("Video_Left") && rng.Chance(0.12)) WriteVideos(rng);
    measures_.Set("POST_SEQ", Value{rng.Chance(0.1)});
    measures_.Post();
    ++c_.counts.measurements;
  }

  int64_t WriteAcquisition(Rng& rng, const std::string& kind, const AcquisitionSize& size, int frequency,
                           double weight, int64_t posturo) {
    const bool has_zipped = data_.Has("Zipped");
    const bool large = size.images * size.dim > kCompressionThreshold;
    db::Blob blob;
    if (!size.empty_blob) {
      Rng blob_rng = rng.Fork(2);
      blob = AcquisitionFrames(size.images, size.dim, blob_rng);
    }
    // Some rows were already compressed by an earlier run, some were written
    // by programs that leave the flag empty.
    Value zipped = Int(0);
    const double draw = rng.Uniform();
    if (has_zipped && !blob.empty() && large && draw < 0.15) {
      blob = Compress(blob);
      zipped = Int(1);
      ++c_.counts.compressed_blobs;
    } else if (!blob.empty() && draw > 0.95) {
      zipped = Value{};
    }

    data_.Append();
    data_.Set("TypeAcq", Int(kind == "C" ? 1 : kind == "P" ? 2 : 3));
    data_.Set("NbImages", Int(size.images));
    data_.Set("Frequence", Int(frequency));
    data_.Set("DimImage", Int(size.dim));
    data_.Set("ID_Pla", Int(rng.Between(1, 3)));
    data_.Set("Poids", Value{std::round(weight * 10) / 10});
    if (!blob.empty()) data_.Set("Data", Value{blob});
    data_.Set("VP", Int(kind == "C" ? posturo : 0));
    for (int i = 1; i <= 8; ++i)
      if (rng.Chance(0.5)) data_.Set("I" + std::to_string(i), Int(rng.Between(0, 255)));
    data_.Set("Zipped", zipped);
    const int64_t key = data_.Post();
    ++c_.counts.data_rows;
    c_.counts.blob_bytes += static_cast<int64_t>(blob.size());
    return key;
  }

  void WriteVideos(Rng& rng) {
    for (const char* side : {"Video_Left", "Video_Right"}) {
      if (std::string_view(side) == "Video_Right" && rng.Chance(0.4)) continue;
      char name[32];
      std::snprintf(name, sizeof name, "VID%06lld%s.avi", static_cast<long long>(++c_.counts.videos),
                    std::string_view(side) == "Video_Left" ? "G" : "D");
      WriteVideo(c_.root / "movies" / name, MixSeed(c_.options.seed, static_cast<uint64_t>(c_.counts.videos)));
      measures_.Set(side, std::string(name));
    }
  }

  void WriteExercises(Rng& rng, int64_t patient, int64_t user, int first_day) {
    const int count = rng.Between(1, 4);
    int day = first_day;
    for (int i = 0; i < count; ++i) {
      // A new day or a later time the same day: (patient, date, time) stays unique.
      day = std::min(day + rng.Between(0, 40), c_.options.today.OrdinalDays());
      const DateTime time{0, 0, 0, 9 + i * 2, rng.Between(0, 59), rng.Between(0, 59)};
      exercises_.Append();
      exercises_.Set("DATE_JEU", DateText(DateTime::FromOrdinalDays(day)));
      exercises_.Set("TIME", TimeText(time));
      exercises_.Set("FK_PAT", Int(patient));
      exercises_.Set("TYPE", Int(rng.Between(1, 4)));
      exercises_.Set("NIVEAU", "Niveau " + std::to_string(rng.Between(1, 3)));
      exercises_.Set("SCORE", std::to_string(rng.Between(20, 100)));
      if (rng.Chance(0.3)) exercises_.Set("NOTE", std::string("Exercice de rééducation de l'équilibre"));
      exercises_.Set("Flag", Int(0));
      if (rng.Chance(0.7)) {
        Rng blob_rng = rng.Fork(3);
        exercises_.Set("SURFACE", Value{CentreOfPressureTrace(rng.Between(100, 400), blob_rng)});
      }
      exercises_.Set("FK_USE", Int(user));
      exercises_.Set("ID_Pla", Int(rng.Between(1, 3)));
      exercises_.Post();
      ++c_.counts.exercises;
    }
  }

  void WriteLetters(Rng& rng, int64_t patient, const PatientIdentity& identity, const char* dossier,
                    int first_day) {
    const int count = rng.Between(1, 2);
    for (int i = 1; i <= count; ++i) {
      const DateTime date = DateTime::FromOrdinalDays(rng.Between(first_day, c_.options.today.OrdinalDays()));
      const std::string name = std::string("Courrier_") + dossier + "_" + std::to_string(i) + ".rtf";
      WriteLetter(c_.root / "Documents" / "Mails" / name, identity.first_name + " " + identity.last_name,
                  DateText(date));
      documents_.Append();
      documents_.Set("DATE_COURRIER", DateText(date));
      documents_.Set("FK_PAT", Int(patient));
      documents_.Set("CHEMIN", "C:\\Cabinet\\Documents\\Mails\\" + name);
      documents_.Set("TYPE", Int(1));
      documents_.Set("NOM", name);
      documents_.Post();
      ++c_.counts.documents;
    }
  }

  GenerationContext& c_;
  RowWriter& patients_;
  RowWriter& exams_;
  RowWriter& measures_;
  RowWriter& data_;
  RowWriter& posturo_;
  RowWriter& exercises_;
  RowWriter& assessments_;
  RowWriter& documents_;
  int64_t exam_number_ = 0;
};

}  // namespace

void WritePatientRows(GenerationContext& c) {
  PatientWriter writer(c);
  const int n = c.options.patients;
  const int shared = c.options.share_seed
                         ? std::min(static_cast<int>(std::lround(c.options.share * n)), c.options.share_patients)
                         : 0;
  for (int i = 0; i < n; ++i) {
    // Spread the shared patients evenly, each taken from a distinct patient of the other database.
    const int64_t before = static_cast<int64_t>(i) * shared / n;
    const int64_t after = static_cast<int64_t>(i + 1) * shared / n;
    if (after > before) {
      const int other = static_cast<int>(before * c.options.share_patients / shared);
      writer.Write(i, IdentityOf(*c.options.share_seed, other, c.options.today));
      ++c.counts.shared_patients;
    } else {
      writer.Write(i, IdentityOf(c.options.seed, i, c.options.today));
    }
  }
}

}  // namespace tabulor::schema
