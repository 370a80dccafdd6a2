#include "db/schema/tables.h"

#include <stdexcept>

namespace tabulor::schema {
namespace {

using db::FieldType;

FieldSchema Field(std::string name, FieldType type, int size = 0) {
  FieldSchema field;
  field.def = db::FieldDef{std::move(name), type, size};
  return field;
}
FieldSchema Auto(std::string name) { return Field(std::move(name), FieldType::kAutoInc); }
FieldSchema Alpha(std::string name, int size) { return Field(std::move(name), FieldType::kAlpha, size); }
FieldSchema Long(std::string name) { return Field(std::move(name), FieldType::kLong); }
FieldSchema Short(std::string name) { return Field(std::move(name), FieldType::kShort); }
FieldSchema Number(std::string name) { return Field(std::move(name), FieldType::kNumber); }
FieldSchema Date(std::string name) { return Field(std::move(name), FieldType::kDate); }
FieldSchema Time(std::string name) { return Field(std::move(name), FieldType::kTime); }
FieldSchema Logical(std::string name) { return Field(std::move(name), FieldType::kLogical); }
FieldSchema Memo(std::string name, int leader) { return Field(std::move(name), FieldType::kMemo, leader); }
// Binary blobs keep a 10-byte leader in the row.
FieldSchema Binary(std::string name) { return Field(std::move(name), FieldType::kBlob, 10); }

FieldSchema Since(int version, FieldSchema field) {
  field.added_in = version;
  return field;
}
FieldSchema Renamed(std::string former_name, int version, FieldSchema field) {
  field.former_name = std::move(former_name);
  field.renamed_in = version;
  return field;
}

IndexSchema Index(std::string name, std::vector<std::string> fields, bool unique = false,
                  bool case_insensitive = false) {
  IndexSchema index;
  index.def.name = std::move(name);
  index.def.fields = std::move(fields);
  index.def.unique = unique;
  index.def.case_insensitive = case_insensitive;
  return index;
}
IndexSchema Since(int version, IndexSchema index) {
  index.added_in = version;
  return index;
}

TableSchema Keyed(std::string name, std::vector<FieldSchema> fields, std::vector<IndexSchema> indexes = {}) {
  TableSchema table;
  table.name = std::move(name);
  table.fields = std::move(fields);
  table.key_field_count = 1;
  table.indexes = std::move(indexes);
  return table;
}

TableSchema Registered(int version, TableSchema table) {
  table.registered_in = version;
  return table;
}

std::vector<FieldSchema> NormFields() {
  std::vector<FieldSchema> fields = {Auto("PK_NORME"), Alpha("NOM", 30)};
  for (const char* parameter : {"SURF", "LONG", "XMoy", "YMoy", "LFS", "VarVit", "VFY", "ROMBERG", "AN02X", "AN02Y"})
    for (const char* suffix : {"_Min", "_Max", "_Moy"}) fields.push_back(Number(std::string(parameter) + suffix));
  return fields;
}

std::vector<FieldSchema> AssessmentFields() {
  std::vector<FieldSchema> fields = {Auto("PK_BIL"), Long("FK_EXA"), Memo("INTERRO", 50)};
  for (const char* name : {"PIED_G", "PIED_D", "ARP_G", "ARP_D"}) fields.push_back(Alpha(name, 20));
  fields.push_back(Alpha("ARPQ_G", 2));
  fields.push_back(Alpha("ARPQ_D", 2));
  for (const char* name : {"AVP_G", "AVP_D", "MI_G", "MI_D", "GENOU_G", "GENOU_D"}) fields.push_back(Alpha(name, 20));
  fields.push_back(Alpha("GENOU_Q", 10));
  fields.push_back(Alpha("BASSIN_G", 20));
  fields.push_back(Alpha("BASSIN_D", 20));
  fields.push_back(Alpha("BASSIN_Q", 10));
  for (const char* name : {"BASSIN_V_G", "BASSIN_V_D", "EPAULES_G", "EPAULES_D", "MI_TAILLE"})
    fields.push_back(Alpha(name, 20));
  fields.push_back(Alpha("MI_Q", 10));
  fields.push_back(Alpha("MI_RV", 20));
  fields.push_back(Alpha("ORTHESES", 20));
  fields.push_back(Short("POINTURE"));
  fields.push_back(Alpha("POINTURE_DECI", 10));
  fields.push_back(Alpha("STYPE", 20));
  fields.push_back(Alpha("SFORME", 20));
  fields.push_back(Memo("DETAIL", 50));
  fields.push_back(Short("FORMULES_META"));
  for (const char* name : {"USURE_AI_G", "USURE_AI_D", "USURE_AE_G", "USURE_AE_D", "USURE_PI_G", "USURE_PI_D",
                           "USURE_PE_G", "USURE_PE_D", "CHAUSS_SPORT", "CHAUSS_VILLE", "CHAUSS_TALON",
                           "CHAUSS_PLAT", "CHAUSS_MES", "CHAUSS_MEDI", "CHAUSS_AUTRE"})
    fields.push_back(Logical(name));
  fields.push_back(Alpha("DETAIL_AUTRE", 20));
  return fields;
}

std::vector<TableSchema> BuildTables() {
  std::vector<TableSchema> tables;

  tables.push_back(Keyed("Patient",
                         {Auto("PK_PAT"), Long("FK_USE"), Alpha("DOSSIER", 15),
                          Renamed("DATE", 200, Date("DATE_PAT")), Alpha("NOM", 30), Alpha("PRENOM", 30),
                          Date("BIRTHDT"), Alpha("BIRTHPLACE", 30), Alpha("SEXE", 1), Alpha("ADRESSE", 60),
                          Alpha("CP", 15), Alpha("VILLE", 30), Alpha("TELOFF", 30), Alpha("TELPRV", 30),
                          Long("FK_PRO"), Memo("NOTE", 240), Alpha("POINTURE", 6), Alpha("POIDS", 6),
                          Alpha("TAILLE", 6), Alpha("FLAG", 1), Long("FLAG1"), Long("FLAG2"),
                          Since(100, Long("CLASSE")), Since(250, Long("LIMIT_H")), Since(250, Long("LIMIT_B")),
                          Since(250, Long("LIMIT_G")), Since(250, Long("LIMIT_D"))},
                         {Index("Patient_Existant", {"NOM", "PRENOM", "BIRTHDT"})}));

  // The examinations of a patient in date order; the imports write with it as current index.
  tables.push_back(Keyed("Examen",
                         {Auto("PK_EXA"), Long("FK_USE"), Renamed("DATE", 200, Date("DATE_EXA")), Long("FK_PAT"),
                          Alpha("INTITULE", 60), Alpha("POIDS", 6), Alpha("TAILLE", 6), Alpha("POINTURE", 6),
                          Long("FK_PRE"), Date("PRESCDT"), Alpha("PRESC", 60), Memo("NOTE", 50), Long("FK_PTH"),
                          Alpha("FichierDataDos", 12), Long("FLAG1"), Long("FLAG2"), Long("VP"),
                          Since(100, Long("CLASSE"))},
                         {Index("IDDate", {"FK_PAT", "DATE_EXA"}), Index("FK_PAT", {"FK_PAT"})}));

  // The measurements of an examination in time order.
  tables.push_back(Keyed("Mesure",
                         {Auto("PK_MES"), Time("HEURE"), Memo("NOTE", 50), Alpha("TYPE", 1), Long("NBIMAGE"),
                          Number("DUREE"), Number("FREQUENCE"), Long("FK_EXA"), Long("FK_USE"), Long("FK_DAT"),
                          Logical("DIAGONALE"), Long("FLAG1"), Long("FLAG2"), Since(200, Alpha("Video_Left", 64)),
                          Since(200, Alpha("Video_Right", 64)), Since(250, Logical("POST_SEQ"))},
                         {Index("IDHeure", {"FK_EXA", "HEURE"}), Index("FK_EXA", {"FK_EXA"})}));

  {
    std::vector<FieldSchema> fields = {Auto("ID_Acq"),  Short("TypeAcq"), Short("NbImages"), Short("Frequence"),
                                       Short("DimImage"), Long("ID_Pla"),  Number("Poids"),   Binary("Data"),
                                       Long("VP")};
    for (int i = 1; i <= 8; ++i) fields.push_back(Long("I" + std::to_string(i)));
    fields.push_back(Since(200, Long("Zipped")));
    tables.push_back(Keyed("Data", std::move(fields)));
  }

  tables.push_back(Keyed("Posturo", {Auto("ID_Acq"), Long("TypeAcq"), Short("ID_Pla"), Alpha("CodeType", 30),
                                     Short("Frequence"), Short("TypePatient"), Alpha("Situation", 10),
                                     Binary("Data"), Alpha("Pointure", 6), Long("Duree"),
                                     Since(200, Alpha("Taille", 6)), Since(200, Long("FK_Norm")),
                                     Since(210, Long("FK_STIMU"))}));

  tables.push_back(Keyed("Jeu",
                         {Auto("PK_JEU"), Alpha("DATE_JEU", 10), Alpha("TIME", 8), Long("FK_PAT"), Short("TYPE"),
                          Alpha("NIVEAU", 30), Alpha("SCORE", 6), Alpha("NOTE", 50), Long("Flag"), Binary("SURFACE"),
                          Long("FK_USE"), Long("ID_Pla")},
                         {Since(210, Index("IDJeu", {"FK_PAT", "DATE_JEU", "TIME"}, true, true)),
                          Since(210, Index("IDNiveau", {"FK_PAT", "NIVEAU"}, false, true)),
                          Index("FK_PAT", {"FK_PAT"})}));
  tables.back().registered_in = 280;

  tables.push_back(Registered(200, Keyed("Norme", NormFields(), {Index("Norme existante", {"NOM"}, false, true)})));

  {
    // Before version 2 the protocol table had its primary index and a
    // non-unique protocol index; the version 2 step deletes both index files
    // and builds them again.
    TableSchema type = Keyed("Type", {Auto("PK_TYPE"), Alpha("CODE", 30), Alpha("DUREE", 5), Long("FREQ"),
                                      Short("NB_MESURES"), Alpha("MES_1", 10), Alpha("MES_2", 10),
                                      Alpha("MES_3", 10), Alpha("MES_4", 10), Since(200, Long("FK_NORM_1")),
                                      Since(200, Long("FK_NORM_2")), Since(200, Long("FK_NORM_3")),
                                      Since(200, Long("FK_NORM_4")), Since(240, Logical("PRESSIONS"))});
    type.primary_index_name = "PK_TYPE";
    type.primary_rebuilt_in = 200;
    IndexSchema protocol = Index("Protocole existant", {"CODE"}, true, true);
    protocol.rebuilt_in = 200;
    protocol.former_options = protocol.def;
    protocol.former_options.unique = false;
    type.indexes.push_back(std::move(protocol));
    tables.push_back(std::move(type));
  }

  {
    // Names are compared without regard to case: the lookups pass them in any case.
    TableSchema users = Keyed("Users", {Auto("PK_USE"), Alpha("NOM", 30), Since(200, Alpha("PASS_WD", 30)),
                                        Since(230, Date("EXPIRE_DATE"))},
                              {Index("Utilisateur existant", {"NOM"}, false, true)});
    users.former_name = "User";
    users.renamed_in = 200;
    tables.push_back(std::move(users));
  }

  tables.push_back(Keyed("Path", {Auto("PK_PTH"), Alpha("NOM", 60)},
                         {Index("Pathologie existante", {"NOM"}, false, true)}));
  tables.push_back(Keyed("Pres",
                         {Auto("PK_PRE"), Alpha("NOM", 30), Alpha("PRENOM", 30), Alpha("ADRESSE", 60), Alpha("CP", 15),
                          Alpha("VILLE", 30), Alpha("TEL", 30)},
                         {Index("Prescripteur existant", {"NOM", "PRENOM"}, false, true)}));
  tables.push_back(Keyed("Prof", {Auto("PK_PRO"), Alpha("Nom", 60)},
                         {Index("Profession existante", {"Nom"}, false, true)}));

  // The practice record, keyed on its name; `Clef` holds the practice's licence key.
  tables.push_back(Keyed("Clefs", {Alpha("Nom", 120), Alpha("Adresse", 255), Alpha("Tel", 255), Alpha("Clef", 40),
                                   Since(200, Alpha("Mail", 50)), Since(200, Alpha("Web", 30)),
                                   Since(200, Alpha("Logo", 255))}));

  tables.push_back(Registered(280, Keyed("Bilan", AssessmentFields(), {Index("FK_EXA", {"FK_EXA"})})));

  tables.push_back(Registered(280, Keyed("Docs",
                                         {Auto("PK_COURRIER"), Alpha("DATE_COURRIER", 10), Long("FK_PAT"),
                                          Alpha("CHEMIN", 255), Short("TYPE"), Alpha("NOM", 255)},
                                         {Index("FK_PAT", {"FK_PAT"})})));

  // Tables of the practice software that this program only registers.
  {
    TableSchema town = Keyed("Ville", {Auto("PK_VILLE"), Alpha("CP", 15), Alpha("VILLE", 30), Alpha("PAYS", 30)});
    town.primary_index_name = "PK_VILLE";
    town.keyed_since = 230;
    town.registered_in = 200;
    town.read_by_program = false;
    tables.push_back(std::move(town));
  }
  auto unread = [](int version, TableSchema table) {
    table.registered_in = version;
    table.read_by_program = false;
    return table;
  };
  tables.push_back(unread(200, Keyed("ParamJeu", {Auto("PK_PARAM"), Short("TYPE"), Alpha("NIVEAU", 30),
                                                  Short("DUREE"), Short("VITESSE"), Short("AMPLITUDE"),
                                                  Memo("CONSIGNE", 50)})));
  tables.push_back(unread(280, Keyed("BilanParam", {Auto("PK_BILPARAM"), Alpha("RUBRIQUE", 30),
                                                    Alpha("LIBELLE", 60), Short("ORDRE")})));
  tables.push_back(unread(280, Keyed("RefValue", {Auto("PK_REF"), Alpha("CODE", 30), Alpha("LIBELLE", 60),
                                                  Number("VALEUR"), Alpha("UNITE", 10)})));
  tables.push_back(unread(280, Keyed("Stimulation", {Auto("PK_STIMU"), Alpha("NOM", 60), Short("TYPE"),
                                                     Number("FREQUENCE"), Number("AMPLITUDE"), Long("DUREE")})));

  {
    TableSchema version = Keyed("Version", {Alpha("NomTable", 32), Number("Version")});
    version.registered_in = -1;  // not a row of its own
    tables.push_back(std::move(version));
  }
  return tables;
}

std::vector<Relation> BuildRelations() {
  std::vector<Relation> relations;
  for (const char* table : {"Patient", "Examen", "Mesure", "Jeu"})
    relations.push_back({table, "FK_USE", "Users", "PK_USE", ""});
  relations.push_back({"Patient", "FK_PRO", "Prof", "PK_PRO", ""});
  for (const char* table : {"Examen", "Jeu", "Docs"}) relations.push_back({table, "FK_PAT", "Patient", "PK_PAT", ""});
  relations.push_back({"Examen", "FK_PRE", "Pres", "PK_PRE", ""});
  relations.push_back({"Examen", "FK_PTH", "Path", "PK_PTH", ""});
  for (const char* table : {"Mesure", "Bilan"}) relations.push_back({table, "FK_EXA", "Examen", "PK_EXA", ""});
  relations.push_back({"Mesure", "FK_DAT", "Posturo", "ID_Acq", "TYPE = \"W\""});
  relations.push_back({"Mesure", "FK_DAT", "Data", "ID_Acq", "TYPE <> \"W\""});
  relations.push_back({"Data", "VP", "Posturo", "ID_Acq", "measurement TYPE = \"C\""});
  relations.push_back({"Posturo", "FK_Norm", "Norme", "PK_NORME", ""});
  for (int i = 1; i <= 4; ++i)
    relations.push_back({"Type", "FK_NORM_" + std::to_string(i), "Norme", "PK_NORME", ""});
  relations.push_back({"Posturo", "CodeType", "Type", "CODE", "by value"});
  return relations;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

const FieldSchema* TableSchema::FindField(std::string_view field_name) const {
  for (const FieldSchema& field : fields)
    if (SameName(field.def.name, field_name)) return &field;
  return nullptr;
}

const std::vector<TableSchema>& PracticeTables() {
  static const std::vector<TableSchema> tables = BuildTables();
  return tables;
}

const TableSchema* FindPracticeTable(std::string_view name) {
  if (name.size() > 3 && SameName(name.substr(name.size() - 3), ".DB")) name.remove_suffix(3);
  for (const TableSchema& table : PracticeTables())
    if (SameName(table.name, name) || (!table.former_name.empty() && SameName(table.former_name, name)))
      return &table;
  return nullptr;
}

const TableSchema& PracticeTable(std::string_view name) {
  if (const TableSchema* table = FindPracticeTable(name)) return *table;
  throw std::invalid_argument("Unknown table of the practice database: " + std::string(name));
}

const std::vector<Relation>& Relations() {
  static const std::vector<Relation> relations = BuildRelations();
  return relations;
}

}  // namespace tabulor::schema
