#include "platform/linux/LocaleCountry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace fernpad {
namespace {

int CodeWith(const std::map<std::string, std::string>& env, int fallback = 49) {
  return CountryCodeFromLocale(
      [&env](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
      },
      fallback);
}

TEST(LocaleCountry, VariablesAreConsultedInOrderOfPrecedence) {
  const std::map<std::string, std::string> all = {{"LC_ALL", "fr_FR.UTF-8"},
                                                  {"LC_TELEPHONE", "it_IT.UTF-8"},
                                                  {"LC_MEASUREMENT", "de_DE.UTF-8"},
                                                  {"LANG", "en_GB.UTF-8"}};
  auto env = all;
  EXPECT_EQ(CodeWith(env), 33);
  env.erase("LC_ALL");
  EXPECT_EQ(CodeWith(env), 39);
  env.erase("LC_TELEPHONE");
  EXPECT_EQ(CodeWith(env), 49);
  env.erase("LC_MEASUREMENT");
  EXPECT_EQ(CodeWith(env), 44);
}

TEST(LocaleCountry, CharacterTypeAndMessageLanguageDoNotDecide) {
  EXPECT_EQ(CodeWith({{"LC_CTYPE", "de_DE.UTF-8"}, {"LC_MESSAGES", "de_AT"}, {"LANG", "sv_SE.UTF-8"}}), 46);
  EXPECT_EQ(CodeWith({{"LC_CTYPE", "de_DE.UTF-8"}}, 7), 7);
}

TEST(LocaleCountry, ValuesWithoutTerritoryAreSkipped) {
  EXPECT_EQ(CodeWith({{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}), 1);
  EXPECT_EQ(CodeWith({{"LC_ALL", "C.UTF-8"}, {"LC_MEASUREMENT", ""}, {"LANG", "nb_NO.UTF-8"}}), 47);
  EXPECT_EQ(CodeWith({{"LANG", "POSIX"}}), 49);
  EXPECT_EQ(CodeWith({}), 49);
  EXPECT_EQ(CodeWith({{"LANG", "xx_ZZ"}}, 1), 1);
}

TEST(LocaleCountry, LocaleNamesAreTakenApartProperly) {
  EXPECT_EQ(CountryCodeOfLocaleName("de_DE"), 49);
  EXPECT_EQ(CountryCodeOfLocaleName("de_AT.ISO-8859-1@euro"), 43);
  EXPECT_EQ(CountryCodeOfLocaleName("sr_RS@latin"), 381);
  EXPECT_EQ(CountryCodeOfLocaleName("en_gb.utf8"), 44);
  EXPECT_EQ(CountryCodeOfLocaleName("fr_CA.UTF-8"), 2);  // as Windows reports French Canada
  EXPECT_EQ(CountryCodeOfLocaleName("en_CA.UTF-8"), 1);
  EXPECT_EQ(CountryCodeOfLocaleName("de"), std::nullopt);
  EXPECT_EQ(CountryCodeOfLocaleName("C.UTF-8"), std::nullopt);
  EXPECT_EQ(CountryCodeOfLocaleName(""), std::nullopt);
}

// Every locale the C library ships knows its own dialling prefix; the table must agree with each of them.
TEST(LocaleCountry, AgreesWithTheDiallingPrefixOfEveryInstalledLocaleSource) {
  const std::filesystem::path dir = "/usr/share/i18n/locales";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no locale sources (package locales)";
  const std::regex prefix(R"(^\s*int_prefix\s+"(\d+)\")");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find('_') == std::string::npos || name.rfind("translit", 0) == 0 || name.rfind("iso", 0) == 0)
      continue;
    std::ifstream in(entry.path());
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
      if (!std::regex_search(line, m, prefix)) continue;
      const int expected = (name.rfind("fr_CA", 0) == 0) ? 2 : std::stoi(m[1]);
      EXPECT_EQ(CountryCodeOfLocaleName(name), expected) << name;
      ++checked;
      break;
    }
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace fernpad
