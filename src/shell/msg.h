#pragma once
// The message unit: every text the program shows in a message box, in French,
// kept together as translatable strings (context "Msg"). The language switch
// at start-up may replace them by the English module's texts.
//
// A subsystem that needs a text of its own that is not here either adds it
// below (one function a text) or translates it through Tr() under its own
// context, so that the English module can carry it as well.
#include <string>
#include <string_view>

namespace tabulor::shell::msg {

// The text of `source` in the current language (UTF-8). `source` is the French text.
std::string Tr(const char* context, const char* source);
// Replaces each "%s" of `pattern` by the next of `args`, in order.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

// Start-up and main window.
std::string SiblingRunning();      // "Veuillez fermer toutes les applications Vantrel !"
std::string IncompatibleVersion(); // "Version des tables incompatible ! Veuillez faire la mise à jour ..."
std::string VersionPrefix();       // "Version " (the version label's text before "2.8")
std::string FunctionUnavailable(); // a switch whose run is not part of this build
std::string NoDisplay();           // no window can open: nothing is left to do

// Data module.
std::string AliasNotFound(std::string_view alias);  // "Information BDE : alias %s non trouvé !"

// Connections of the imports.
std::string ConnectionImpossible(std::string_view database);  // "Connection à la base de données %s impossible"

// Upgrade and compression.
std::string UpgradeDone();       // "Mise à jour terminée"
std::string ZippedFieldMissing(); // "Champ Zipped non trouvé"

// Events of the upgrade, the imports and the compression (report and log lines).
std::string TableNotFound();  // upgrade summary and log
std::string TableUpgrade();  // an upgrade step's log line, before the item's label
std::string PatientExists();  // after a patient's name
std::string ProtocolExists();  // after a protocol's code
std::string ExerciseExists();  // after an exercise
std::string FileNotFound();  // after a file name
std::string FirstNameCompleted();  // after a last name
std::string BirthDateCompleted();  // after a last name
std::string PatientNotImported();  // a sequence or exercise of a patient whose insertion failed
std::string ExaminationNotImported();  // a measurement or assessment of an examination whose insertion failed
std::string NormNotFound(std::string_view key);  // a protocol's norm key that names no norm of its source
std::string ErrorImportingPatient();
std::string ErrorImportingExamination();
std::string ErrorImportingMeasurement();
std::string ErrorImportingExercise();
std::string ErrorImportingProtocol();
std::string ErrorImportingType();
std::string ErrorImportingPractice();
std::string ErrorImportingDocument();
std::string AddingUser();
std::string AddingProfession();
std::string AddingPathology();
std::string AddingPrescriber();
std::string AddingNorm();
std::string AddingClinicalAssessment();
std::string EmptyBlob();  // compression, after an acquisition number
std::string ZipSizeZero();  // compression, after an acquisition number

// Errors.
std::string NotADate(std::string_view text);  // "'%s' n'est pas une date correcte"
std::string UnknownError();  // an error that carries no message
std::string ErrorPrefix();   // "tabulor: erreur : ", before an error written to standard error

// Files.
std::string CannotWriteFile(std::string_view path, std::string_view reason);

}  // namespace tabulor::shell::msg
