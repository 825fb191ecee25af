#include "platform/linux/LocaleCountry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace fernpad {
namespace {

struct Territory {
  char code[3];
  int dialling;
};

// ISO 3166 territories of the locales glibc ships, with the international prefix of their LC_TELEPHONE.
constexpr Territory kTerritories[] = {
    {"AD", 376}, {"AE", 971}, {"AF", 93},  {"AG", 1},   {"AL", 355}, {"AM", 374}, {"AR", 54},  {"AT", 43},
    {"AU", 61},  {"AW", 297}, {"AZ", 994}, {"BA", 387}, {"BD", 880}, {"BE", 32},  {"BG", 359}, {"BH", 973},
    {"BO", 591}, {"BR", 55},  {"BT", 975}, {"BW", 267}, {"BY", 375}, {"CA", 1},   {"CD", 243}, {"CH", 41},
    {"CL", 56},  {"CN", 86},  {"CO", 57},  {"CR", 506}, {"CU", 53},  {"CW", 599}, {"CY", 357}, {"CZ", 420},
    {"DE", 49},  {"DJ", 253}, {"DK", 45},  {"DO", 1},   {"DZ", 213}, {"EC", 593}, {"EE", 372}, {"EG", 20},
    {"ER", 291}, {"ES", 34},  {"ET", 251}, {"FI", 358}, {"FJ", 679}, {"FO", 298}, {"FR", 33},  {"GB", 44},
    {"GE", 995}, {"GH", 233}, {"GL", 299}, {"GR", 30},  {"GT", 502}, {"HK", 852}, {"HN", 504}, {"HR", 385},
    {"HT", 509}, {"HU", 36},  {"ID", 62},  {"IE", 353}, {"IL", 972}, {"IN", 91},  {"IQ", 964}, {"IR", 98},
    {"IS", 354}, {"IT", 39},  {"JO", 962}, {"JP", 81},  {"KE", 254}, {"KG", 996}, {"KH", 855}, {"KR", 82},
    {"KW", 965}, {"KZ", 7},   {"LA", 856}, {"LB", 961}, {"LI", 423}, {"LK", 94},  {"LT", 370}, {"LU", 352},
    {"LV", 371}, {"LY", 218}, {"MA", 212}, {"ME", 382}, {"MG", 261}, {"MK", 389}, {"MM", 95},  {"MN", 976},
    {"MT", 356}, {"MU", 230}, {"MV", 960}, {"MX", 52},  {"MY", 60},  {"NG", 234}, {"NI", 505}, {"NL", 31},
    {"NO", 47},  {"NP", 977}, {"NU", 683}, {"NZ", 64},  {"OM", 968}, {"PA", 507}, {"PE", 51},  {"PG", 675},
    {"PH", 63},  {"PK", 92},  {"PL", 48},  {"PR", 1},   {"PT", 351}, {"PY", 595}, {"QA", 974}, {"RO", 40},
    {"RS", 381}, {"RU", 7},   {"RW", 250}, {"SA", 966}, {"SC", 248}, {"SD", 249}, {"SE", 46},  {"SG", 65},
    {"SI", 386}, {"SK", 421}, {"SN", 221}, {"SO", 252}, {"SS", 211}, {"SV", 503}, {"SY", 963}, {"TH", 66},
    {"TJ", 992}, {"TM", 993}, {"TN", 216}, {"TO", 676}, {"TR", 90},  {"TW", 886}, {"TZ", 255}, {"UA", 380},
    {"UG", 256}, {"US", 1},   {"UY", 598}, {"UZ", 998}, {"VE", 58},  {"VN", 84},  {"VU", 678}, {"WS", 685},
    {"YE", 967}, {"ZA", 27},  {"ZM", 260}, {"ZW", 263},
};

}  // namespace

std::optional<int> CountryCodeOfLocaleName(std::string_view name) {
  // language[_territory][.codeset][@modifier]
  const auto end = name.find_first_of(".@");
  name = name.substr(0, end);
  const auto underscore = name.find('_');
  if (underscore == std::string_view::npos) return std::nullopt;
  const std::string_view language = name.substr(0, underscore);
  std::string territory(name.substr(underscore + 1));
  std::transform(territory.begin(), territory.end(), territory.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
  if (territory == "CA" && language == "fr") return 2;
  for (const auto& t : kTerritories)
    if (territory == t.code) return t.dialling;
  return std::nullopt;
}

int CountryCodeFromLocale(const EnvironmentLookup& getenv, int fallback) {
  for (const char* variable : {"LC_ALL", "LC_TELEPHONE", "LC_MEASUREMENT", "LANG"}) {
    const char* value = getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    if (auto code = CountryCodeOfLocaleName(value)) return *code;
  }
  return fallback;
}

int CountryCodeFromLocale() {
  return CountryCodeFromLocale([](const char* name) { return std::getenv(name); });
}

}  // namespace fernpad
