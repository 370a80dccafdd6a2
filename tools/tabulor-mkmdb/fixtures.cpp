#include "tools/tabulor-mkmdb/fixtures.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace tabulor::mkmdb {
namespace {

using db::DateTime;

const char* const kLastNames[] = {"Martin",  "Bernard", "Dubois",   "Thomas",   "Robert",  "Richard", "Petit",
                                  "Durand",  "Leroy",   "Moreau",   "Simon",    "Laurent", "Lefèvre", "Michel",
                                  "Garcia",  "David",   "Bertrand", "Roux",     "Vincent", "Fournier",
                                  "Morel",   "Girard",  "André",    "Mercier",  "Dupont",  "Lambert", "Bonnet",
                                  "François", "Martinez", "Lemaître", "Müller", "Noël",   "Chevalier d'Arçon"};
const char* const kFirstNames[] = {"Jean",   "Marie",  "Pierre", "Françoise", "Michel",  "Monique", "Philippe",
                                   "Nathalie", "Éric", "Isabelle", "Hélène",  "Jérôme",  "Céline",  "Noémie",
                                   "Loïc",   "Gaëlle", "Anne-Sophie", "Jean-François", "Zoé", "Benoît"};
const char* const kTowns[] = {"Paris", "Lyon", "Marseille", "Toulouse", "Nantes", "Saint-Étienne",
                              "Aix-en-Provence", "Besançon", "Orléans", "Châlons-en-Champagne"};
const char* const kStreets[] = {"rue de la République", "avenue Jean Jaurès", "place du Marché", "boulevard Gambetta",
                                "chemin des Écoliers", "impasse des Lilas"};

struct TypeSpec {
  const char* code;
  const char* eyes;
  const char* name;
  bool with_norms;
};
const TypeSpec kTypes[] = {
    {"ROMBERG_YO", "YO", "Romberg yeux ouverts", true},
    {"ROMBERG_YF", "YF", "Romberg yeux fermés", true},
    {"STAT_MOUSSE", "YO", "Statique sur mousse", false},
    {"DYN_YF", "YF", "Dynamique yeux fermés", true},
};
// Codes the sequences use besides those of the Types table.
const char* const kTypeWithoutRow = "ANCIEN_PROTO";

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  int Between(int low, int high) { return low + static_cast<int>(engine_() % static_cast<uint32_t>(high - low + 1)); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Between(0, static_cast<int>(N) - 1)];
  }

 private:
  std::mt19937 engine_;
};

std::string Format(const char* pattern, int a, int b = 0, int c = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
  return buffer;
}

std::string DateText(int day, int month, int year) { return Format("%02d/%02d/%04d", day, month, year); }

std::string Phone(Random& random) {
  return Format("0%d %02d %02d", random.Between(1, 6), random.Between(10, 99), random.Between(10, 99)) +
         Format(" %02d %02d", random.Between(10, 99), random.Between(10, 99));
}

Jet4Table PatientsTable(Random& random, int count, std::vector<std::string>& codes) {
  Jet4Table t{"Patients",
              {{"Code_Patient", Jet4Type::kText, 5},       {"Nom_Patient", Jet4Type::kText, 30},
               {"Prenom_Patient", Jet4Type::kText, 20},    {"Adresse1_Patient", Jet4Type::kText, 30},
               {"Adresse2_Patient", Jet4Type::kText, 30},  {"Ville_Patient", Jet4Type::kText, 50},
               {"CodePostal_Patient", Jet4Type::kText, 5}, {"Telephone1_Patient", Jet4Type::kText, 15},
               {"Telephone2_Patient", Jet4Type::kText, 15}, {"Sexe_Patient", Jet4Type::kText, 1},
               {"Classe_Patient", Jet4Type::kText, 1},     {"Date_Naissance_Patient", Jet4Type::kText, 10},
               {"Poids_Patient", Jet4Type::kText, 5},      {"Pointure_Patient", Jet4Type::kText, 5},
               {"Taille_Patient", Jet4Type::kText, 5},     {"Commentaire_Patient", Jet4Type::kText, 100}},
              {}};
  // Codes of five digits, spaced out while there is room.
  const int step = 10 + static_cast<long>(count) * 7 <= 99999 ? 7 : 1;
  for (int i = 0; i < count; ++i) {
    const std::string code = Format("%05d", 10 + i * step);
    codes.push_back(code);
    const bool woman = random.Chance(55);
    Jet4Value first_name = std::string(random.Pick(kFirstNames));
    if (i % 5 == 3) first_name = i % 2 ? Jet4Value{} : Jet4Value{std::string()};  // missing: NULL or empty
    Jet4Value birth = DateText(random.Between(1, 28), random.Between(1, 12), random.Between(1930, 2015));
    if (i % 6 == 4) birth = i % 4 ? Jet4Value{} : Jet4Value{std::string()};
    Jet4Value address2 = random.Chance(30) ? Jet4Value{std::string("Bâtiment B")} : Jet4Value{};
    t.rows.push_back({code, std::string(random.Pick(kLastNames)), first_name,
                      Format("%d ", random.Between(1, 120)) + random.Pick(kStreets), address2,
                      std::string(random.Pick(kTowns)), Format("%05d", random.Between(1000, 95999)), Phone(random),
                      random.Chance(40) ? Jet4Value{Phone(random)} : Jet4Value{}, std::string(woman ? "F" : "M"),
                      std::string(i % 7 == 2 ? "a" : (random.Chance(70) ? "A" : "E")), birth,
                      std::to_string(random.Between(35, 110)), std::to_string(random.Between(33, 47)),
                      std::to_string(random.Between(140, 198)),
                      random.Chance(30) ? Jet4Value{std::string("Suivi posturologique ; semelles à revoir")} : Jet4Value{}});
  }
  return t;
}

Jet4Table TypesTable(Random& random) {
  Jet4Table t{"Types",
              {{"Code_Type_Acquisition", Jet4Type::kText, 30}, {"Type_Yeux", Jet4Type::kText, 2},
               {"Nom_Type_Acquisition", Jet4Type::kText, 50}, {"Frequence_Type_Acquisition", Jet4Type::kText, 50},
               {"Duree_Type_Acquisition", Jet4Type::kText, 50}, {"Trigger_Start_Acquisition", Jet4Type::kLong},
               {"Trigger_Duree_Acquisition", Jet4Type::kLong}},
              {}};
  const char* const quantities[] = {"Moyen_X", "Moyen_Y", "Surface", "Longueur", "LFS",
                                    "Romberg", "Variance", "VFY"};
  for (const char* q : quantities)
    for (const char* bound : {"_Min", "_Max", "_Normal"})
      t.columns.push_back({std::string("Type_") + q + bound, Jet4Type::kDouble});
  for (const char* q : {"AN02X", "AN02Y"})
    for (const char* bound : {"_Normal", "_Max", "_Min"})
      t.columns.push_back({std::string("Type_") + q + bound, Jet4Type::kDouble});
  for (const TypeSpec& type : kTypes) {
    std::vector<Jet4Value> row{std::string(type.code), std::string(type.eyes), std::string(type.name),
                               std::string("40"), std::string("51,2"), int32_t{0}, int32_t{random.Between(5, 30)}};
    for (int k = 0; k < 10; ++k) {
      const int normal = type.with_norms ? random.Between(50, 5000) : 0;  // tenths
      const int spread = type.with_norms ? random.Between(10, 300) : 0;
      const double low = (normal - spread) / 10.0, high = (normal + spread) / 10.0, mean = normal / 10.0;
      // Columns come as Min, Max, Normal, except the AN02 ones (Normal, Max, Min).
      if (k < 8) row.insert(row.end(), {low, high, mean});
      else row.insert(row.end(), {mean, high, low});
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

std::string SampleText(Random& random, int lines) {
  std::string text;
  int x = random.Between(-50, 50), y = random.Between(-50, 50);
  for (int i = 0; i < lines; ++i) {
    x += random.Between(-3, 3);
    y += random.Between(-3, 3);
    text += std::to_string(x) + "," + std::to_string(y) + "\r\n";
  }
  return text;
}

}  // namespace

std::string SequenceFileName(const std::string& code, double number) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%s%3.0f.pos", code.c_str(), number);
  std::string name = buffer;
  for (char& c : name)
    if (c == ' ') c = '0';
  return name;
}

BalantisSource MakeBalantis(const BalantisOptions& options) {
  if (options.patients < 0 || options.patients > 99989)
    throw std::invalid_argument("the patient count must lie between 0 and 99989 (codes have five digits)");
  Random random(options.seed);
  BalantisSource source;
  std::vector<std::string> codes;
  source.tables.push_back(PatientsTable(random, options.patients, codes));
  Jet4Table sequences{"Sequences",
                      {{"Code_Patient", Jet4Type::kText, 5},      {"Num_Sequence", Jet4Type::kText, 50},
                       {"Type_Sequence", Jet4Type::kText, 30},    {"Frequence_Sequence", Jet4Type::kText, 10},
                       {"Duree_Sequence", Jet4Type::kText, 10},   {"Date_Sequence", Jet4Type::kText, 50},
                       {"Heure_Sequence", Jet4Type::kText, 50},   {"Commentaire_Sequence", Jet4Type::kText, 200}},
                      {}};
  Jet4Table exercises{"Exercices",
                      {{"Code_Patient", Jet4Type::kText, 5},
                       {"Type_Jeu", Jet4Type::kText, 3},
                       {"Code_Jeu", Jet4Type::kText, 25},
                       {"Date_Exercice", Jet4Type::kDateTime},
                       {"Heure_Exercice", Jet4Type::kDateTime},
                       {"Performance_Exercice", Jet4Type::kLong},
                       {"Commentaire_Exercice", Jet4Type::kText, 200}},
                      {}};
  const char* const games[] = {"PIP", "BPS", "BAP", "SPO", "pip", "XYZ"};
  for (size_t p = 0; p < codes.size(); ++p) {
    const int drawn = random.Between(0, 3);
    const int count = options.sequences_per_patient < 0 ? drawn : options.sequences_per_patient;
    for (int s = 1; s <= count; ++s) {
      const int number = s + (p % 4 == 1 ? 998 : 0);  // a few numbers of four digits
      const int frequency = 40;
      const std::string duration = s % 3 == 2 ? "2,5" : std::to_string(random.Between(2, 5));
      std::string type = random.Pick(kTypes).code;
      if ((p + s) % 9 == 4) type = kTypeWithoutRow;
      const int day = random.Between(1, 28), month = random.Between(1, 12), year = random.Between(1998, 2006);
      sequences.rows.push_back({codes[p], std::to_string(number), type, std::to_string(frequency), duration,
                                DateText(day, month, year),
                                Format("%02d:%02d:%02d", random.Between(8, 18), random.Between(0, 59),
                                       random.Between(0, 59)),
                                random.Chance(40) ? Jet4Value{std::string("Séquence de contrôle")} : Jet4Value{}});
      const double seconds = duration == "2,5" ? 2.5 : std::stod(duration);
      int lines = static_cast<int>(seconds * frequency);
      if ((p + s) % 5 == 0) lines += 5;
      if ((p + s) % 7 == 0) lines -= 10;
      if ((p + s) % 11 == 3) continue;  // a sequence whose file is missing
      source.files.push_back({SequenceFileName(codes[p], number), SampleText(random, lines)});
    }
    const int games_played = random.Between(0, 2);
    for (int g = 0; g < games_played; ++g) {
      const DateTime date{random.Between(1999, 2006), random.Between(1, 12), random.Between(1, 28), 0, 0, 0, 0};
      const DateTime time{1899, 12, 30, random.Between(8, 18), random.Between(0, 59), random.Between(0, 59), 0};
      exercises.rows.push_back({codes[p], std::string(random.Pick(games)),
                                Format("Niveau %d", random.Between(1, 9)), date, time,
                                int32_t{random.Between(0, 1000)},
                                random.Chance(30) ? Jet4Value{std::string("Très bon équilibre")} : Jet4Value{}});
    }
  }
  source.tables.push_back(std::move(sequences));
  source.tables.push_back(std::move(exercises));
  source.tables.push_back(TypesTable(random));
  return source;
}

void WriteBalantis(const std::string& directory, const BalantisOptions& options) {
  namespace fs = std::filesystem;
  const BalantisSource source = MakeBalantis(options);
  fs::create_directories(fs::path(directory) / "data");
  WriteJet4Database((fs::path(directory) / "Balantis2000.mdb").string(), source.tables, options.password);
  for (const SequenceFile& file : source.files) {
    std::ofstream out(fs::path(directory) / "data" / file.name, std::ios::binary);
    out << file.text;
    if (!out) throw std::runtime_error("cannot write " + file.name);
  }
}

Jet4Table MakePedoraPatients(int patients, uint32_t seed) {
  if (patients < 0) throw std::invalid_argument("negative patient count");
  Random random(seed);
  Jet4Table t{"Patients",
              {{"PatientID", Jet4Type::kAutoIncrement},      {"Title", Jet4Type::kText, 5},
               {"LastName", Jet4Type::kText, 32},            {"FirstName", Jet4Type::kText, 32},
               {"DateOfBirth", Jet4Type::kText, 12},         {"Weight", Jet4Type::kDouble},
               {"Height", Jet4Type::kDouble},                {"FootSize", Jet4Type::kDouble},
               {"Sex", Jet4Type::kText, 2},                  {"Doctor", Jet4Type::kText, 32},
               {"Notes", Jet4Type::kMemo},                   {"Pathology", Jet4Type::kText, 100},
               {"Telephone1Number", Jet4Type::kText, 24},    {"Telephone2Number", Jet4Type::kText, 24},
               {"Profession", Jet4Type::kText, 30}},
              {}};
  for (int i = 0; i < patients; ++i) {
    const bool woman = random.Chance(50);
    Jet4Value first = std::string(random.Pick(kFirstNames));
    if (i % 6 == 2) first = i % 4 ? Jet4Value{} : Jet4Value{std::string()};
    Jet4Value birth = DateText(random.Between(1, 28), random.Between(1, 12), random.Between(1935, 2018));
    if (i % 7 == 3) birth = Jet4Value{};
    auto measure = [&](int low, int high, int missing_every) -> Jet4Value {
      if (i % missing_every == 1) return i % 2 ? Jet4Value{} : Jet4Value{0.0};
      return random.Between(low * 10, high * 10) / 10.0;
    };
    std::string notes = "Consultation du " + DateText(random.Between(1, 28), random.Between(1, 12), 2012);
    if (i % 5 == 0) notes += " : douleurs plantaires, semelles orthopédiques prescrites.";
    if (i % 8 == 7) {  // a long history that lies on several long-value pages
      for (int k = 0; k < 120; ++k) notes += "\r\nSéance " + std::to_string(k + 1) + " : bilan podologique, réglage des éléments.";
    }
    t.rows.push_back({Jet4Value{}, std::string(woman ? "Mme" : "M."), std::string(random.Pick(kLastNames)), first,
                      birth, measure(20, 120, 5), measure(100, 200, 6), measure(28, 48, 4),
                      std::string(woman ? "F" : "M"), std::string("Dr ") + random.Pick(kLastNames),
                      i % 9 == 4 ? Jet4Value{} : Jet4Value{notes},
                      random.Chance(50) ? Jet4Value{std::string("Pied plat valgus")} : Jet4Value{}, Phone(random),
                      random.Chance(50) ? Jet4Value{Phone(random)} : Jet4Value{},
                      random.Chance(60) ? Jet4Value{std::string("Enseignant")} : Jet4Value{}});
  }
  if (patients >= 2) {  // the same person twice
    std::vector<Jet4Value> copy = t.rows[0];
    copy[0] = Jet4Value{};
    t.rows.push_back(copy);
  }
  return t;
}

void WritePedora(const std::string& file, int patients, uint32_t seed, const std::string& password) {
  WriteJet4Database(file, {MakePedoraPatients(patients, seed)}, password);
}

}  // namespace tabulor::mkmdb
