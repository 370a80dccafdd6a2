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
</TS>
