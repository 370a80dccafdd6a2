<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="fr_FR">
<context>
    <name>Msg</name>
    <message>
        <source>Veuillez fermer toutes les applications Vantrel !</source>
        <translation>Please close all the Vantrel applications!</translation>
    </message>
    <message>
        <source>Version des tables incompatible ! Veuillez faire la mise à jour de votre base de données.</source>
        <translation>Incompatible table version! Please upgrade your database.</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Cette fonction n'est pas disponible dans cette version du programme.</source>
        <translation>This function is not available in this version of the program.</translation>
    </message>
    <message>
        <source>Aucun affichage disponible : la fenêtre principale ne peut pas s'ouvrir.</source>
        <translation>No display available: the main window cannot open.</translation>
    </message>
    <message>
        <source>Information BDE : alias %s non trouvé !</source>
        <translation>BDE information: alias %s not found!</translation>
    </message>
    <message>
        <source>Connection à la base de données %s impossible</source>
        <translation>Cannot connect to the database %s</translation>
    </message>
    <message>
        <source>Mise à jour terminée</source>
        <translation>Upgrade finished</translation>
    </message>
    <message>
        <source>Champ Zipped non trouvé</source>
        <translation>Zipped field not found</translation>
    </message>
    <message>
        <source>Erreur inconnue</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>Impossible d'écrire le fichier %s : %s</source>
        <translation>Cannot write the file %s: %s</translation>
    </message>
    <message>
        <source>Table non trouvée</source>
        <translation>Table not found</translation>
    </message>
    <message>
        <source>Mise à jour de la table </source>
        <translation>Upgrading table </translation>
    </message>
    <message>
        <source> : Patient existant</source>
        <translation>: existing patient</translation>
    </message>
    <message>
        <source> : Protocole existant</source>
        <translation>: existing protocol</translation>
    </message>
    <message>
        <source> : Exercice existant</source>
        <translation>: existing exercise</translation>
    </message>
    <message>
        <source> : Fichier introuvable !</source>
        <translation>: file not found!</translation>
    </message>
    <message>
        <source> : Prénom à complété</source>
        <translation>: first name to be completed</translation>
    </message>
    <message>
        <source> : Date de naissance complétée</source>
        <translation> : birth date completed</translation>
    </message>
    <message>
        <source>'%s' n'est pas une date correcte</source>
        <translation>'%s' is not a valid date</translation>
    </message>
    <message>
        <source>Erreur à l'importation du patient</source>
        <translation>Error while importing the patient</translation>
    </message>
    <message>
        <source>Erreur à l'importation de l'examen</source>
        <translation>Error while importing the examination</translation>
    </message>
    <message>
        <source>Erreur à l'importation de la mesure</source>
        <translation>Error while importing the measurement</translation>
    </message>
    <message>
        <source>Erreur à l'importation de l'exercice</source>
        <translation>Error while importing the exercise</translation>
    </message>
    <message>
        <source>Erreur à l'importation du protocole</source>
        <translation>Error while importing the protocol</translation>
    </message>
    <message>
        <source>Erreur à l'importation du cabinet médical</source>
        <translation>Error while importing the practice</translation>
    </message>
    <message>
        <source>Erreur à l'importation du document</source>
        <translation>Error while importing the document</translation>
    </message>
    <message>
        <source>Ajout de l'utilisateur</source>
        <translation>Adding the user</translation>
    </message>
    <message>
        <source>Ajout de la profession</source>
        <translation>Adding the profession</translation>
    </message>
    <message>
        <source>Ajout de la pathologie</source>
        <translation>Adding the pathology</translation>
    </message>
    <message>
        <source>Ajout du prescripteur</source>
        <translation>Adding the prescriber</translation>
    </message>
    <message>
        <source>Ajout de la norme</source>
        <translation>Adding the norm</translation>
    </message>
    <message>
        <source>Ajout de l'examen clinique</source>
        <translation>Adding the clinical assessment</translation>
    </message>
    <message>
        <source>- Blob initial vide</source>
        <translation>- empty initial blob</translation>
    </message>
    <message>
        <source>- taille zip 0</source>
        <translation>- zip size 0</translation>
    </message>
    <message>
        <source>tabulor: erreur : </source>
        <translation>tabulor: error: </translation>
    </message>
    <message>
        <source>Patient non importé</source>
        <translation>Patient not imported</translation>
    </message>
    <message>
        <source>Examen non importé</source>
        <translation>Examination not imported</translation>
    </message>
    <message>
        <source>Norme %s introuvable dans la base importée</source>
        <translation>Norm %s not found in the imported database</translation>
    </message>
    <message>
        <source>Erreur à l'importation du type</source>
        <translation>Error while importing the type</translation>
    </message>
</context>
<context>
    <name>tabulor::shell::gui::TfmMain</name>
    <message>
        <source>Tabulor</source>
        <translation>Tabulor</translation>
    </message>
    <message>
        <source>Avant toute manipulation sur votre base de données il est conseillé de faire une sauvegarde de ladite base.</source>
        <translation>Before doing anything to your database, you are advised to make a backup of it.</translation>
    </message>
    <message>
        <source>&amp;Mise à jour de la Base</source>
        <translation>&amp;Upgrade the database</translation>
    </message>
    <message>
        <source>&amp;Importation d'une Base</source>
        <translation>&amp;Import a database</translation>
    </message>
    <message>
        <source>&amp;Quitter</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>&amp;Fichiers</source>
        <translation>&amp;Files</translation>
    </message>
    <message>
        <source>Mise à jour de la base</source>
        <translation>Upgrade the database</translation>
    </message>
    <message>
        <source>Compression de la base</source>
        <translation>Compress the database</translation>
    </message>
    <message>
        <source>&amp;Importations</source>
        <translation>&amp;Imports</translation>
    </message>
    <message>
        <source>Importation d'une base de données</source>
        <translation>Import a database</translation>
    </message>
    <message>
        <source>Importation des patients d'une base Balantis Access</source>
        <translation>Import the patients of a Balantis Access database</translation>
    </message>
    <message>
        <source>Importation d'une base Balantis Access</source>
        <translation>Import a Balantis Access database</translation>
    </message>
    <message>
        <source>Importation d'un fichier patient Pedora</source>
        <translation>Import a Pedora patient file</translation>
    </message>
</context>
<context>
    <name>Compress</name>
    <message>
        <source>La taille min de compression « %s » n'est pas un nombre entier : aucune ligne n'a été modifiée.</source>
        <translation>The minimum compression size “%s” is not a whole number: no row was changed.</translation>
    </message>
</context>
<context>
    <name>TfmDBUpgrade</name>
    <message>
        <source>Mise à jour</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>Mise à jour de la base de données</source>
        <translation>Database upgrade</translation>
    </message>
    <message>
        <source>&amp;Mise à jour</source>
        <translation>&amp;Upgrade</translation>
    </message>
    <message>
        <source>&amp;Quitter</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Table</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Nb. d'enregistrements</source>
        <translation>No. of records</translation>
    </message>
    <message>
        <source>Nb. de champs</source>
        <translation>No. of fields</translation>
    </message>
</context>
<context>
    <name>tabulor::compress::gui::TfmCompress</name>
    <message>
        <source>Compression</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>Compression de la base de données</source>
        <translation>Database compression</translation>
    </message>
    <message>
        <source>Compression en cours ... Patientez S.V.P.</source>
        <translation>Compressing ... Please wait.</translation>
    </message>
    <message>
        <source>Compte rendu :</source>
        <translation>Report:</translation>
    </message>
    <message>
        <source>La compression d'une base de données importante peut prendre plusieurs minutes et ce processus ne peut pas être interrompu !</source>
        <translation>Compressing a large database can take several minutes and the process cannot be interrupted!</translation>
    </message>
    <message>
        <source>Taille min de compression (en ko) :</source>
        <translation>Minimum compression size (in KB):</translation>
    </message>
    <message>
        <source>&amp;Compresser</source>
        <translation>&amp;Compress</translation>
    </message>
    <message>
        <source>&amp;Quitter</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Compression terminée</source>
        <translation>Compression finished</translation>
    </message>
</context>
<context>
    <name>ImportWizard</name>
    <message>
        <source>Assistant pour l'importation d'une base de données</source>
        <translation>Database import wizard</translation>
    </message>
    <message>
        <source>Importation d'un fichier patient Pedora</source>
        <translation>Import a Pedora patient file</translation>
    </message>
    <message>
        <source>Base de données à importer :</source>
        <translation>Database to import:</translation>
    </message>
    <message>
        <source>Disque :</source>
        <translation>Drive:</translation>
    </message>
    <message>
        <source>Répertoire :</source>
        <translation>Directory:</translation>
    </message>
    <message>
        <source>Contenu :</source>
        <translation>Contents:</translation>
    </message>
    <message>
        <source>&amp;Suivant &gt;</source>
        <translation>&amp;Next &gt;</translation>
    </message>
    <message>
        <source>&amp;Annuler</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>Définissez l'utilisateur courant :</source>
        <translation>Choose the current user:</translation>
    </message>
    <message>
        <source>Nom</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>&lt; &amp;Précédent</source>
        <translation>&lt; &amp;Back</translation>
    </message>
    <message>
        <source>Import de la base de données :</source>
        <translation>Importing the database:</translation>
    </message>
    <message>
        <source>Utilisateur courant :</source>
        <translation>Current user:</translation>
    </message>
    <message>
        <source>Contenu de la base de données :</source>
        <translation>Contents of the database:</translation>
    </message>
    <message>
        <source>Patient(s) :</source>
        <translation>Patient(s):</translation>
    </message>
    <message>
        <source>Mesure(s) :</source>
        <translation>Measurement(s):</translation>
    </message>
    <message>
        <source>Type(s) :</source>
        <translation>Type(s):</translation>
    </message>
    <message>
        <source>Exercice(s) :</source>
        <translation>Exercise(s):</translation>
    </message>
    <message>
        <source>Les champs NOM, PRENOM et DATE de NAISSANCE non renseignés seront remplis avec une valeur par défaut ! Ces champs sont obligatoires dans Ortalis.</source>
        <translation>Empty LAST NAME, FIRST NAME and DATE of BIRTH fields will be filled with a default value! These fields are required in Ortalis.</translation>
    </message>
    <message>
        <source>L'importation d'une base de données importante peut prendre plusieurs minutes et ce processus ne peut pas être interrompu !</source>
        <translation>Importing a large database can take several minutes and the process cannot be interrupted!</translation>
    </message>
    <message>
        <source>&amp;Commencer</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>Importation en cours ... Patientez S.V.P.</source>
        <translation>Importing ... Please wait.</translation>
    </message>
    <message>
        <source>Compte rendu :</source>
        <translation>Report:</translation>
    </message>
    <message>
        <source>Norme(s) :</source>
        <translation>Norm(s):</translation>
    </message>
    <message>
        <source>&amp;Ok</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Importation d'une base de données PARADOX</source>
        <translation>Import a PARADOX database</translation>
    </message>
    <message>
        <source>Examen(s) :</source>
        <translation>Examination(s):</translation>
    </message>
    <message>
        <source>Prescripteur(s) :</source>
        <translation>Prescriber(s):</translation>
    </message>
    <message>
        <source>Utilisateur(s) :</source>
        <translation>User(s):</translation>
    </message>
    <message>
        <source>Profession(s) :</source>
        <translation>Profession(s):</translation>
    </message>
    <message>
        <source>Pathologie(s) :</source>
        <translation>Pathology(ies):</translation>
    </message>
    <message>
        <source>Protocole(s) :</source>
        <translation>Protocol(s):</translation>
    </message>
    <message>
        <source>Importer le cabinet médical</source>
        <translation>Import the practice record</translation>
    </message>
    <message>
        <source>Importer les protocoles</source>
        <translation>Import the protocols</translation>
    </message>
    <message>
        <source>Les vidéos ne seront pas importées !</source>
        <translation>The videos will not be imported!</translation>
    </message>
    <message>
        <source>Les courriers ne seront pas importés !</source>
        <translation>The letters will not be imported!</translation>
    </message>
    <message>
        <source>Importation d'une base de données ACCESS</source>
        <translation>Import an ACCESS database</translation>
    </message>
    <message>
        <source>Importation des patients d'une base ACCESS</source>
        <translation>Import the patients of an ACCESS database</translation>
    </message>
    <message>
        <source>L'importation d'un patient n'est possible que si les champs NOM, PRENOM et DATE de NAISSANCE sont renseignés !</source>
        <translation>A patient can only be imported when its LAST NAME, FIRST NAME and DATE of BIRTH fields are filled in!</translation>
    </message>
</context>
</TS>
