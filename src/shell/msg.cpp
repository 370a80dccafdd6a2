#include "shell/msg.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace tabulor::shell::msg {
namespace {
std::string Text(const char* source) { return Tr("Msg", source); }
}  // namespace

std::string Tr(const char* context, const char* source) {
  return QCoreApplication::translate(context, source).toStdString();
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string SiblingRunning() {
  return Text(QT_TRANSLATE_NOOP("Msg", "Veuillez fermer toutes les applications Vantrel !"));
}
std::string IncompatibleVersion() {
  return Text(QT_TRANSLATE_NOOP(
      "Msg", "Version des tables incompatible ! Veuillez faire la mise à jour de votre base de données."));
}
std::string VersionPrefix() { return Text(QT_TRANSLATE_NOOP("Msg", "Version ")); }
std::string FunctionUnavailable() {
  return Text(QT_TRANSLATE_NOOP("Msg", "Cette fonction n'est pas disponible dans cette version du programme."));
}
std::string NoDisplay() {
  return Text(QT_TRANSLATE_NOOP("Msg", "Aucun affichage disponible : la fenêtre principale ne peut pas s'ouvrir."));
}
std::string AliasNotFound(std::string_view alias) {
  return Format(Text(QT_TRANSLATE_NOOP("Msg", "Information BDE : alias %s non trouvé !")), {alias});
}
std::string ConnectionImpossible(std::string_view database) {
  return Format(Text(QT_TRANSLATE_NOOP("Msg", "Connection à la base de données %s impossible")), {database});
}
std::string UpgradeDone() { return Text(QT_TRANSLATE_NOOP("Msg", "Mise à jour terminée")); }
std::string ZippedFieldMissing() { return Text(QT_TRANSLATE_NOOP("Msg", "Champ Zipped non trouvé")); }
std::string TableNotFound() { return Text(QT_TRANSLATE_NOOP("Msg", "Table non trouvée")); }
std::string TableUpgrade() { return Text(QT_TRANSLATE_NOOP("Msg", "Mise à jour de la table ")); }
std::string PatientExists() { return Text(QT_TRANSLATE_NOOP("Msg", " : Patient existant")); }
std::string ProtocolExists() { return Text(QT_TRANSLATE_NOOP("Msg", " : Protocole existant")); }
std::string ExerciseExists() { return Text(QT_TRANSLATE_NOOP("Msg", " : Exercice existant")); }
std::string FileNotFound() { return Text(QT_TRANSLATE_NOOP("Msg", " : Fichier introuvable !")); }
std::string FirstNameCompleted() { return Text(QT_TRANSLATE_NOOP("Msg", " : Prénom à complété")); }
std::string BirthDateCompleted() { return Text(QT_TRANSLATE_NOOP("Msg", " : Date de naissance complétée")); }
std::string NotADate(std::string_view text) {
  return Format(Text(QT_TRANSLATE_NOOP("Msg", "'%s' n'est pas une date correcte")), {text});
}
std::string PatientNotImported() { return Text(QT_TRANSLATE_NOOP("Msg", "Patient non importé")); }
std::string ExaminationNotImported() { return Text(QT_TRANSLATE_NOOP("Msg", "Examen non importé")); }
std::string NormNotFound(std::string_view key) {
  return Format(Text(QT_TRANSLATE_NOOP("Msg", "Norme %s introuvable dans la base importée")), {key});
}
std::string ErrorImportingType() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation du type")); }
std::string ErrorImportingPatient() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation du patient")); }
std::string ErrorImportingExamination() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation de l'examen")); }
std::string ErrorImportingMeasurement() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation de la mesure")); }
std::string ErrorImportingExercise() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation de l'exercice")); }
std::string ErrorImportingProtocol() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation du protocole")); }
std::string ErrorImportingPractice() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation du cabinet médical")); }
std::string ErrorImportingDocument() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur à l'importation du document")); }
std::string AddingUser() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout de l'utilisateur")); }
std::string AddingProfession() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout de la profession")); }
std::string AddingPathology() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout de la pathologie")); }
std::string AddingPrescriber() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout du prescripteur")); }
std::string AddingNorm() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout de la norme")); }
std::string AddingClinicalAssessment() { return Text(QT_TRANSLATE_NOOP("Msg", "Ajout de l'examen clinique")); }
std::string EmptyBlob() { return Text(QT_TRANSLATE_NOOP("Msg", "- Blob initial vide")); }
std::string ZipSizeZero() { return Text(QT_TRANSLATE_NOOP("Msg", "- taille zip 0")); }
std::string UnknownError() { return Text(QT_TRANSLATE_NOOP("Msg", "Erreur inconnue")); }
std::string ErrorPrefix() { return Text(QT_TRANSLATE_NOOP("Msg", "tabulor: erreur : ")); }
std::string CannotWriteFile(std::string_view path, std::string_view reason) {
  return Format(Text(QT_TRANSLATE_NOOP("Msg", "Impossible d'écrire le fichier %s : %s")), {path, reason});
}

}  // namespace tabulor::shell::msg
