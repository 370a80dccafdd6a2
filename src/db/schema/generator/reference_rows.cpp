// The reference tables: users, professions, pathologies, prescribers, norms,
// protocols, the practice record and the tables the program only registers.
#include <algorithm>
#include <array>
#include <set>

#include "db/schema/generator/context.h"
#include "db/schema/generator/french_data.h"
#include "db/schema/layout.h"

namespace tabulor::schema {
namespace {

using db::Value;

void WriteUsers(GenerationContext& c) {
  // Names as typed into the practice software; from version 2.8 on they are stored in upper case.
  static constexpr std::array kUsers = {"dr martin", "dr lefèvre", "secrétariat", "élodie", "remplaçant"};
  RowWriter& users = c.Writer("Users");
  auto add = [&](const std::string& name, const std::string& password, const db::DateTime& expiry) {
    users.Append();
    users.Set("NOM", c.version() >= 280 ? french::UpperCase(name) : name);
    if (users.Has("PASS_WD")) users.Set("PASS_WD", Text(password));
    if (users.Has("EXPIRE_DATE")) users.Set("EXPIRE_DATE", Value{expiry});
    return users.Post();
  };
  for (const char* name : kUsers) {
    const std::string password = c.rng.Chance(0.6) ? std::to_string(c.rng.Between(1000, 9999)) : "";
    c.user_keys.push_back(add(name, password, AddDays(c.options.today, c.rng.Between(20, 120))));
  }
  // The upgrade to 2.3 adds the administrator, who never expires.
  if (c.version() >= 230) add("ADMIN", "", db::DateTime{2050, 1, 1});
}

void WriteNamedList(GenerationContext& c, const std::string& table, const std::string& field,
                    std::span<const char* const> names, std::vector<int64_t>& keys) {
  RowWriter& writer = c.Writer(table);
  for (const char* name : names) {
    writer.Append();
    writer.Set(field, std::string(name));
    keys.push_back(writer.Post());
  }
}

void WritePrescribers(GenerationContext& c) {
  RowWriter& pres = c.Writer("Pres");
  const int count = std::clamp(5 + c.options.patients / 100, 5, 300);
  std::set<std::pair<std::string, std::string>> seen;
  while (static_cast<int>(c.prescriber_keys.size()) < count) {
    const bool female = c.rng.Chance(0.5);
    std::string last = french::UpperCase(c.rng.Pick(french::LastNames()));
    std::string first = c.rng.Pick(female ? french::FemaleFirstNames() : french::MaleFirstNames());
    if (!seen.insert({last, first}).second) {
      if (seen.size() > 4000) break;
      continue;
    }
    const french::Town& town = c.rng.Pick(french::Towns());
    pres.Append();
    pres.Set("NOM", last);
    pres.Set("PRENOM", first);
    pres.Set("ADRESSE", std::to_string(c.rng.Between(1, 150)) + " " + c.rng.Pick(french::Streets()));
    pres.Set("CP", std::string(town.postal_code));
    pres.Set("VILLE", std::string(town.name));
    pres.Set("TEL", PhoneNumber(c.rng, false));
    c.prescriber_keys.push_back(pres.Post());
  }
}

// Reference values of the stabilometric parameters: minimum, maximum and normal value.
struct NormRange {
  const char* parameter;
  double min, max, mean;
};
constexpr std::array kNormRanges = {
    NormRange{"SURF", 40, 420, 190},    NormRange{"LONG", 180, 720, 410}, NormRange{"XMoy", -12, 12, 0},
    NormRange{"YMoy", -45, 12, -14},    NormRange{"LFS", 0.6, 1.5, 1.0},  NormRange{"VarVit", 4, 32, 14},
    NormRange{"VFY", -20, 20, 0},       NormRange{"ROMBERG", 90, 420, 250}, NormRange{"AN02X", 0.4, 5.5, 2.1},
    NormRange{"AN02Y", 0.5, 6.5, 2.6},
};

void WriteNorms(GenerationContext& c) {
  static constexpr std::array kNorms = {"Norme AFP 85 adulte", "Norme AFP 85 enfant", "Norme 2000 yeux ouverts",
                                        "Norme 2000 yeux fermés", "Norme mousse", "Norme sénior"};
  RowWriter& norme = c.Writer("Norme");
  for (const char* name : kNorms) {
    const double scale = c.rng.Uniform(0.85, 1.3);
    norme.Append();
    norme.Set("NOM", std::string(name));
    for (const NormRange& range : kNormRanges) {
      const std::string p = range.parameter;
      norme.Set(p + "_Min", Value{range.min * scale});
      norme.Set(p + "_Max", Value{range.max * scale});
      norme.Set(p + "_Moy", Value{range.mean * scale});
    }
    c.norm_keys.push_back(norme.Post());
  }
}

void WriteProtocols(GenerationContext& c) {
  struct Model {
    const char* code;
    int measures;
    int duration;
  };
  static constexpr std::array kModels = {
      Model{"STANDARD YO/YF", 2, 25}, Model{"STANDARD 51,2", 2, 51}, Model{"ROMBERG", 2, 25},
      Model{"MOUSSE YO/YF", 4, 25},   Model{"TÊTE EN ARRIÈRE", 2, 25}, Model{"CERVICAL D/G", 3, 25},
      Model{"OCCLUSION", 3, 25},      Model{"PLANTAIRE", 1, 51},      Model{"DYNAMIQUE", 1, 25},
      Model{"ENFANT", 2, 25},
  };
  RowWriter& type = c.Writer("Type");
  for (const Model& model : kModels) {
    Protocol protocol;
    protocol.code = model.code;
    protocol.measures = model.measures;
    protocol.duration = model.duration;
    protocol.frequency = 40;
    for (int m = 0; m < 4; ++m) {
      if (m < model.measures) {
        std::string code(7, '0');
        for (char& bit : code) bit = c.rng.Chance(0.4) ? '1' : '0';
        protocol.situations[m] = code;
        protocol.norms[m] = c.rng.Pick(c.norm_keys);
      }
    }
    type.Append();
    type.Set("CODE", protocol.code);
    type.Set("DUREE", std::string(model.duration == 51 ? "51,2" : "25,6"));
    type.Set("FREQ", Int(protocol.frequency));
    type.Set("NB_MESURES", Int(protocol.measures));
    for (int m = 0; m < 4; ++m) {
      const std::string n = std::to_string(m + 1);
      type.Set("MES_" + n, Text(protocol.situations[m]));
      if (type.Has("FK_NORM_" + n) && protocol.norms[m]) type.Set("FK_NORM_" + n, Int(protocol.norms[m]));
    }
    if (type.Has("PRESSIONS")) type.Set("PRESSIONS", Value{c.rng.Chance(0.3)});
    protocol.key = type.Post();
    c.protocols.push_back(protocol);
  }
}

void WritePractice(GenerationContext& c) {
  RowWriter& clefs = c.Writer("Clefs");
  clefs.Append();
  clefs.Set("Nom", std::string("Cabinet de posturologie du Parc"));
  clefs.Set("Adresse", std::string("12, rue Émile-Zola\r\n69003 Lyon"));
  clefs.Set("Tel", std::string("04 78 60 12 34 - Fax 04 78 60 12 35"));
  clefs.Set("Clef", std::string("K7Q2-9XWD-4M8T-") + std::to_string(c.rng.Between(1000, 9999)));
  if (clefs.Has("Mail")) {
    clefs.Set("Mail", std::string("contact@posturo-parc.fr"));
    clefs.Set("Web", std::string("www.posturo-parc.fr"));
    clefs.Set("Logo", std::string("C:\\Cabinet\\Documents\\logo cabinet.bmp"));
  }
  clefs.Post();
}

void WriteRegisteredOnlyTables(GenerationContext& c) {
  RowWriter& ville = c.Writer("Ville");
  for (const french::Town& town : french::Towns()) {
    ville.Append();
    ville.Set("CP", std::string(town.postal_code));
    ville.Set("VILLE", std::string(town.name));
    ville.Set("PAYS", std::string("France"));
    ville.Post();
  }
  RowWriter& param = c.Writer("ParamJeu");
  for (int type = 1; type <= 4; ++type)
    for (int level = 1; level <= 3; ++level) {
      param.Append();
      param.Set("TYPE", Int(type));
      param.Set("NIVEAU", "Niveau " + std::to_string(level));
      param.Set("DUREE", Int(30 + 15 * level));
      param.Set("VITESSE", Int(level * 2));
      param.Set("AMPLITUDE", Int(10 * level + type));
      param.Set("CONSIGNE", std::string("Maintenir la cible au centre de l'écran."));
      param.Post();
    }
  static constexpr std::array kSections = {"Pied", "Arrière-pied", "Avant-pied", "Genou",   "Bassin",
                                           "Épaules", "Membres inférieurs", "Chaussage", "Usure"};
  RowWriter& bilan_param = c.Writer("BilanParam");
  int order = 0;
  for (const char* section : kSections) {
    bilan_param.Append();
    bilan_param.Set("RUBRIQUE", std::string(section));
    bilan_param.Set("LIBELLE", std::string("Examen clinique : ") + section);
    bilan_param.Set("ORDRE", Int(++order));
    bilan_param.Post();
  }
  RowWriter& ref = c.Writer("RefValue");
  for (const NormRange& range : kNormRanges) {
    ref.Append();
    ref.Set("CODE", std::string(range.parameter));
    ref.Set("LIBELLE", std::string("Valeur de référence ") + range.parameter);
    ref.Set("VALEUR", Value{range.mean});
    ref.Set("UNITE", std::string(range.parameter == std::string("SURF") ? "mm²" : "mm"));
    ref.Post();
  }
  RowWriter& stimulation = c.Writer("Stimulation");
  static constexpr std::array kStimuli = {"Vibration tendineuse", "Stimulation optocinétique", "Son binaural",
                                          "Plateforme mobile"};
  for (const char* name : kStimuli) {
    stimulation.Append();
    stimulation.Set("NOM", std::string(name));
    stimulation.Set("TYPE", Int(c.rng.Between(1, 4)));
    stimulation.Set("FREQUENCE", Value{c.rng.Uniform(0.5, 80)});
    stimulation.Set("AMPLITUDE", Value{c.rng.Uniform(0.1, 2)});
    stimulation.Set("DUREE", Int(c.rng.Between(10, 60)));
    stimulation.Post();
  }
}

}  // namespace

std::string PhoneNumber(Rng& rng, bool mobile) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d %02d %02d %02d %02d", mobile ? rng.Between(6, 7) : rng.Between(1, 5),
                rng.Between(10, 99), rng.Between(0, 99), rng.Between(0, 99), rng.Between(0, 99));
  return text;
}

void WriteReferenceRows(GenerationContext& c) {
  WriteUsers(c);
  WriteNamedList(c, "Prof", "Nom", french::Professions(), c.profession_keys);
  for (size_t i = 0; i < french::Professions().size(); ++i)
    if (std::string_view(french::Professions()[i]) == "Élève") c.pupil_profession_key = c.profession_keys[i];
  WriteNamedList(c, "Path", "NOM", french::Pathologies(), c.pathology_keys);
  WritePrescribers(c);
  WriteNorms(c);
  WriteProtocols(c);
  WritePractice(c);
  WriteRegisteredOnlyTables(c);
}

void WriteVersionRows(GenerationContext& c) {
  RowWriter& version = c.Writer("Version");
  for (const std::string& table : VersionRowsAt(c.version())) {
    version.Append();
    version.Set("NomTable", table);
    version.Set("Version", Value{VersionNumber(c.version())});
    version.Post();
  }
}

}  // namespace tabulor::schema
