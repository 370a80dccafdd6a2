#pragma once
// French names, places and clinical wording for realistic generated rows.
// Texts are UTF-8; every character fits the tables' code page 1252.
#include <span>
#include <string>
#include <string_view>

namespace tabulor::schema::french {

struct Town {
  const char* postal_code;
  const char* name;
};

std::span<const char* const> LastNames();
std::span<const char* const> MaleFirstNames();
std::span<const char* const> FemaleFirstNames();
std::span<const Town> Towns();
std::span<const char* const> Streets();
std::span<const char* const> Professions();
std::span<const char* const> Pathologies();
std::span<const char* const> ExaminationTitles();
std::span<const char* const> ClinicalNotes();
std::span<const char* const> FootShapes();
std::span<const char* const> AxisDeviations();

// Upper case of a UTF-8 text under French rules: accented letters keep their
// accent (é gives É), œ gives Œ, æ gives Æ, ÿ gives Ÿ.
std::string UpperCase(std::string_view utf8);

}  // namespace tabulor::schema::french
