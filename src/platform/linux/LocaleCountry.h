#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace fernpad {

// The country code the handheld's server reports for the user (the international dialling code: 1, 44, 49),
// read from the POSIX locale environment.
//
// The user's country is the territory of their regional formats, not of their language or character set.
// The variables are consulted in this order, and the first one whose value names a territory wins:
//   LC_ALL        overrides every category when set;
//   LC_TELEPHONE  the category that holds exactly this value (the country's dialling prefix);
//   LC_MEASUREMENT the category desktops set together with the other regional formats ("Formats" in the
//                 region settings), and one that depends on the country alone;
//   LANG          the default for every category.
// LC_CTYPE and LC_MESSAGES are deliberately not used: they say how text is encoded and which language the
// messages are in, and people routinely set them to en_US while living elsewhere. A value without a
// territory ("C", "POSIX", "C.UTF-8", "en") is skipped rather than ending the search.
//
// Returns `fallback` (49 unless told otherwise) when no variable names a known territory.
using EnvironmentLookup = std::function<const char*(const char* name)>;
int CountryCodeFromLocale(const EnvironmentLookup& getenv, int fallback = 49);
int CountryCodeFromLocale();  // the process environment

// The country code of one locale name ("de_DE.UTF-8", "fr_CA", "sr_RS@latin"), if it names a known territory.
// French Canada reports 2, as Windows does for that locale.
std::optional<int> CountryCodeOfLocaleName(std::string_view name);

}  // namespace fernpad
