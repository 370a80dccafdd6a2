#include "db/schema/generator/french_data.h"

#include <array>

namespace tabulor::schema::french {
namespace {

constexpr std::array kLastNames = {
    "Martin",    "Bernard",   "Dubois",    "Thomas",    "Robert",     "Richard",  "Petit",     "Durand",
    "Leroy",     "Moreau",    "Simon",     "Laurent",   "Lefèvre",    "Michel",   "Garcia",    "David",
    "Bertrand",  "Roux",      "Vincent",   "Fournier",  "Morel",      "Girard",   "André",     "Mercier",
    "Dupont",    "Lambert",   "Bonnet",    "François",  "Legrand",    "Garnier",  "Faure",     "Rousseau",
    "Blanc",     "Guérin",    "Muller",    "Henry",     "Roussel",    "Nicolas",  "Perrin",    "Morin",
    "Mathieu",   "Clément",   "Gauthier",  "Dumont",    "Fontaine",   "Chevalier", "Robin",    "Masson",
    "Gérard",    "Nguyen",    "Boyer",     "Denis",     "Lemaire",    "Duval",    "Joly",      "Roche",
    "Noël",      "Meyer",     "Lucas",     "Meunier",   "Pérez",      "Marchand", "Dufour",    "Blanchard",
    "Barbier",   "Brun",      "Dumas",     "Brunet",    "Schmitt",    "Leroux",   "Colin",     "Renard",
    "Arnaud",    "Rolland",   "Caron",     "Aubert",    "Giraud",     "Leclerc",  "Vidal",     "Bourgeois",
    "Renaud",    "Lemoine",   "Picard",    "Gaillard",  "Lacroix",    "Fabre",    "Dupuis",    "Olivier",
    "Da Silva",  "Hubert",    "Rivière",   "Le Gall",   "Guillaume",  "Moulin",   "Berger",    "Lecomte",
    "Ménard",    "Fleury",    "Deschamps", "Carpentier", "Benoît",    "Maillard", "Prévost",   "Poirier",
    "Charpentier", "Huet",    "Carré",     "Rémy",      "Hébert",     "Étienne",  "Bégué",     "Lenôtre",
    "Chénier",   "Dupré",     "Frénaud",   "Gaudé",     "Jégou",      "Le Bihan", "Lévêque",   "Mérieux",
    "Pétain",    "Sénéchal",  "Thébault",  "Vénard",    "Œuvray",     "Aubé",     "Bréhier",   "Crépin",
};

constexpr std::array kMaleFirstNames = {
    "Jean",   "Pierre",  "Michel",  "André",     "Philippe", "Jacques",  "Bernard", "Alain",   "François",
    "Gérard", "Daniel",  "Christophe", "Stéphane", "Frédéric", "Nicolas", "Julien", "Sébastien", "Jérôme",
    "Loïc",   "Gaël",    "Noël",    "Benoît",    "Hervé",    "Thierry",  "Rémi",    "Léo",     "Hugo",
    "Théo",   "Mathéo",  "Maël",    "Raphaël",   "Gabriel",  "Lucas",    "Éric",    "Cédric",  "Jérémy",
};

constexpr std::array kFemaleFirstNames = {
    "Marie",    "Nathalie", "Isabelle", "Sylvie",   "Catherine", "Françoise", "Hélène",  "Valérie",
    "Christine", "Sandrine", "Véronique", "Cécile", "Élodie",    "Aurélie",   "Émilie",  "Mélanie",
    "Céline",   "Stéphanie", "Chloé",   "Léa",      "Zoé",       "Anaïs",     "Maëlle",  "Noémie",
    "Océane",   "Bérénice", "Thérèse",  "Geneviève", "Josée",    "Lætitia",   "Inès",    "Clémence",
    "Agnès",    "Mégane",   "Héloïse",  "Danièle",
};

constexpr std::array kTowns = {
    Town{"75011", "Paris"},          Town{"69003", "Lyon"},           Town{"13008", "Marseille"},
    Town{"31000", "Toulouse"},       Town{"06000", "Nice"},           Town{"44000", "Nantes"},
    Town{"67000", "Strasbourg"},     Town{"34000", "Montpellier"},    Town{"33000", "Bordeaux"},
    Town{"59000", "Lille"},          Town{"35000", "Rennes"},         Town{"51100", "Reims"},
    Town{"42000", "Saint-Étienne"},  Town{"76600", "Le Havre"},       Town{"83000", "Toulon"},
    Town{"38000", "Grenoble"},       Town{"21000", "Dijon"},          Town{"49000", "Angers"},
    Town{"30000", "Nîmes"},          Town{"63000", "Clermont-Ferrand"}, Town{"72000", "Le Mans"},
    Town{"13100", "Aix-en-Provence"}, Town{"29200", "Brest"},         Town{"37000", "Tours"},
    Town{"80000", "Amiens"},         Town{"87000", "Limoges"},        Town{"74000", "Annecy"},
    Town{"66000", "Perpignan"},      Town{"25000", "Besançon"},       Town{"45000", "Orléans"},
    Town{"57000", "Metz"},           Town{"76000", "Rouen"},          Town{"14000", "Caen"},
    Town{"54000", "Nancy"},          Town{"34500", "Béziers"},        Town{"34200", "Sète"},
    Town{"36000", "Châteauroux"},    Town{"27000", "Évreux"},         Town{"64000", "Pau"},
    Town{"20000", "Ajaccio"},        Town{"73000", "Chambéry"},       Town{"62100", "Calais"},
};

constexpr std::array kStreets = {
    "rue de la République",   "avenue Jean-Jaurès",       "boulevard Gambetta",      "rue Victor-Hugo",
    "place de l'Église",      "chemin des Écoliers",      "allée des Châtaigniers",  "impasse du Moulin",
    "rue Pasteur",            "rue de la Gare",           "avenue du Général-de-Gaulle", "rue Émile-Zola",
    "rue des Lilas",          "quai des Célestins",       "rue du Château",          "route de Bézu",
    "rue Léon-Blum",          "avenue des Frères-Lumière", "rue de l'Hôtel-de-Ville", "place du Marché",
};

constexpr std::array kProfessions = {
    "Agriculteur",      "Artisan",           "Commerçant",         "Cadre",
    "Employé de bureau", "Ouvrier",          "Enseignant",         "Infirmière",
    "Retraité",         "Étudiant",          "Élève",              "Sportif professionnel",
    "Chauffeur routier", "Aide-soignante",   "Sans profession",    "Militaire",
    "Ingénieur",        "Électricien",       "Kinésithérapeute",   "Secrétaire médicale",
};

constexpr std::array kPathologies = {
    "Lombalgie",          "Cervicalgie",                "Vertiges",                "Instabilité posturale",
    "Syndrome post-commotionnel", "Pied plat",          "Pied creux",              "Hallux valgus",
    "Gonalgie",           "Scoliose",                   "Fasciite plantaire",      "Entorse de cheville",
    "Métatarsalgie",      "Tendinite d'Achille",        "Syndrome fémoro-patellaire", "Chutes à répétition",
    "Maladie de Ménière", "Névrome de Morton",          "Épine calcanéenne",       "Inégalité de longueur des membres",
};

constexpr std::array kExaminationTitles = {
    "Bilan postural",      "Bilan podologique",       "Examen stabilométrique", "Contrôle à 3 mois",
    "Contrôle à 6 mois",   "Bilan de chute",          "Bilan sportif",          "Suivi orthèses plantaires",
    "Bilan pédiatrique",   "Réévaluation posturale",
};

constexpr std::array kClinicalNotes = {
    "Douleurs lombaires depuis six mois, majorées en fin de journée.",
    "Patient adressé pour instabilité ; pas d'antécédent de chute.",
    "Port d'orthèses depuis 2 ans, à réévaluer.",
    "Appui préférentiel sur le pied gauche. Yeux fermés : oscillations antéro-postérieures.",
    "Céphalées de tension, trouble de l'occlusion suspecté.",
    "Entorse de la cheville droite il y a trois mois, rééducation terminée.",
    "Bonne coopération. Réaliser un contrôle après la pose des semelles.",
    "Enfant très mobile pendant l'enregistrement, mesure à refaire.",
    "",
};

constexpr std::array kFootShapes = {"Normal", "Plat", "Creux", "Valgus", "Varus", "Égyptien", "Grec", "Carré"};
constexpr std::array kAxisDeviations = {"Normal", "Valgus 5°", "Valgus 10°", "Varus 5°", "Varus 10°",
                                        "Flessum", "Recurvatum"};

// Lower-case letters of code page 1252 above ASCII and their upper-case forms (UTF-8).
struct CasePair {
  const char* lower;
  const char* upper;
};
constexpr std::array kAccentedCase = {
    CasePair{"à", "À"}, CasePair{"á", "Á"}, CasePair{"â", "Â"}, CasePair{"ã", "Ã"}, CasePair{"ä", "Ä"},
    CasePair{"å", "Å"}, CasePair{"æ", "Æ"}, CasePair{"ç", "Ç"}, CasePair{"è", "È"}, CasePair{"é", "É"},
    CasePair{"ê", "Ê"}, CasePair{"ë", "Ë"}, CasePair{"ì", "Ì"}, CasePair{"í", "Í"}, CasePair{"î", "Î"},
    CasePair{"ï", "Ï"}, CasePair{"ð", "Ð"}, CasePair{"ñ", "Ñ"}, CasePair{"ò", "Ò"}, CasePair{"ó", "Ó"},
    CasePair{"ô", "Ô"}, CasePair{"õ", "Õ"}, CasePair{"ö", "Ö"}, CasePair{"ø", "Ø"}, CasePair{"ù", "Ù"},
    CasePair{"ú", "Ú"}, CasePair{"û", "Û"}, CasePair{"ü", "Ü"}, CasePair{"ý", "Ý"}, CasePair{"þ", "Þ"},
    CasePair{"ÿ", "Ÿ"}, CasePair{"œ", "Œ"}, CasePair{"š", "Š"}, CasePair{"ž", "Ž"},
};

}  // namespace

std::span<const char* const> LastNames() { return kLastNames; }
std::span<const char* const> MaleFirstNames() { return kMaleFirstNames; }
std::span<const char* const> FemaleFirstNames() { return kFemaleFirstNames; }
std::span<const Town> Towns() { return kTowns; }
std::span<const char* const> Streets() { return kStreets; }
std::span<const char* const> Professions() { return kProfessions; }
std::span<const char* const> Pathologies() { return kPathologies; }
std::span<const char* const> ExaminationTitles() { return kExaminationTitles; }
std::span<const char* const> ClinicalNotes() { return kClinicalNotes; }
std::span<const char* const> FootShapes() { return kFootShapes; }
std::span<const char* const> AxisDeviations() { return kAxisDeviations; }

std::string UpperCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
      ++i;
      continue;
    }
    bool mapped = false;
    for (const CasePair& pair : kAccentedCase) {
      const std::string_view lower = pair.lower;
      if (utf8.substr(i, lower.size()) == lower) {
        out += pair.upper;
        i += lower.size();
        mapped = true;
        break;
      }
    }
    if (!mapped) {
      out += static_cast<char>(c);
      ++i;
    }
  }
  return out;
}

}  // namespace tabulor::schema::french
