#pragma once
// The values a Pedora patient gets in Patient.DB besides those copied as they are.
#include <optional>
#include <string>

#include "db/common/datetime.h"

namespace tabulor::patient_file_import {

// A size read as a number written in the general number format; `fallback`
// ("35", "50", "165") when the source holds nothing or zero.
std::string SizeText(std::optional<double> value, const std::string& fallback);

// Full years between the birth date and today.
int AgeOn(const db::DateTime& birth, const db::DateTime& today);
// CLASSE: 0 for a child of 14 or less, 1 for an adult.
int ClassFor(const db::DateTime& birth, const db::DateTime& today);

// The first `characters` characters of a UTF-8 text, as a text field of that size keeps it.
std::string CutToCharacters(const std::string& text, size_t characters);

}  // namespace tabulor::patient_file_import
