#include "access_import/balantis_source.h"

#include <vector>

#include "shell/msg.h"

namespace tabulor::access_import {
namespace {

using db::access::ColumnSpec;
using db::access::FieldKind;

std::vector<ColumnSpec> TextColumns(std::initializer_list<const char*> names) {
  std::vector<ColumnSpec> columns;
  for (const char* name : names) columns.emplace_back(name, FieldKind::kText);
  return columns;
}

std::vector<ColumnSpec> TypesColumns() {
  std::vector<ColumnSpec> columns = TextColumns({"Code_Type_Acquisition", "Type_Yeux", "Nom_Type_Acquisition",
                                                 "Frequence_Type_Acquisition", "Duree_Type_Acquisition"});
  columns.emplace_back("Trigger_Start_Acquisition", FieldKind::kInteger);
  columns.emplace_back("Trigger_Duree_Acquisition", FieldKind::kInteger);
  for (const char* quantity : {"Moyen_X", "Moyen_Y", "Surface", "Longueur", "LFS", "Romberg", "Variance", "VFY",
                               "AN02X", "AN02Y"})
    for (const char* bound : {"_Min", "_Max", "_Normal"})
      columns.emplace_back(std::string("Type_") + quantity + bound, FieldKind::kFloat);
  return columns;
}

}  // namespace

BalantisSource::BalantisSource() : patients(connection), sequences(connection), exercises(connection), types(connection) {
  patients.SetTableName("Patients");
  patients.SetColumns(TextColumns({"Code_Patient", "Nom_Patient", "Prenom_Patient", "Adresse1_Patient",
                                   "Adresse2_Patient", "Ville_Patient", "CodePostal_Patient", "Telephone1_Patient",
                                   "Telephone2_Patient", "Sexe_Patient", "Classe_Patient", "Date_Naissance_Patient",
                                   "Poids_Patient", "Pointure_Patient", "Taille_Patient", "Commentaire_Patient"}));
  sequences.SetTableName("Sequences");
  sequences.SetColumns(TextColumns({"Code_Patient", "Num_Sequence", "Type_Sequence", "Frequence_Sequence",
                                    "Duree_Sequence", "Date_Sequence", "Heure_Sequence", "Commentaire_Sequence"}));
  sequences.SetMaster(&patients, "Code_Patient", "Code_Patient");
  exercises.SetTableName("Exercices");
  exercises.SetColumns({{"Code_Patient", FieldKind::kText},
                        {"Type_Jeu", FieldKind::kText},
                        {"Code_Jeu", FieldKind::kText},
                        {"Date_Exercice", FieldKind::kDateTime},
                        {"Heure_Exercice", FieldKind::kDateTime},
                        {"Performance_Exercice", FieldKind::kInteger},
                        {"Commentaire_Exercice", FieldKind::kText}});
  exercises.SetMaster(&patients, "Code_Patient", "Code_Patient");
  types.SetTableName("Types");
  types.SetColumns(TypesColumns());
  types.SetMaster(&sequences, "Type_Sequence", "Code_Type_Acquisition");
}

void BalantisSource::Open(const std::string& directory, const std::string& file_name) {
  Close();
  connection.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + directory + "\\" + file_name +
                                 ";Persist Security Info=False");
  connection.Open();
  // The details first, so that each count is that of the whole table.
  types.Open();
  type_count = types.RecordCount();
  sequences.Open();
  sequence_count = sequences.RecordCount();
  exercises.Open();
  exercise_count = exercises.RecordCount();
  patients.Open();
  patient_count = patients.RecordCount();
  directory_ = directory;
}

void BalantisSource::Close() {
  patients.Close();
  types.Close();
  sequences.Close();
  exercises.Close();
  connection.Close();
}

std::string SourceOpenFailure(const std::string& directory, const std::string& error_message) {
  return shell::msg::ConnectionImpossible(directory) + "\r\r" + error_message;
}

}  // namespace tabulor::access_import
