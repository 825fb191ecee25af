#include <gtest/gtest.h>

#include "updater/Updater.h"

namespace fernpad::updater {
namespace {

TEST(Version, NewerOnlyWhenTheOfferIsHigherPartByPart) {
  struct Case {
    const char* installed;
    const char* offered;
    bool newer;
  } cases[] = {
      {"1.0.0.52", "1.0.0.53", true},
      {"1.0.0.52", "1.0.0.52", false},
      {"1.0.0.52", "1.1.0.0", true},
      {"2.0.0.0", "1.9.9.9", false},
      {"1.0.0.9", "1.0.0.10", true},       // numbers, not texts
      {"1.10.0.0", "1.9.9.9", false},      // an earlier higher part wins over later lower ones
      {"1.2.0.9", "1.3.0.0", true},        // and the other way round
      {"1.2", "1.3", true},                // fewer parts, as long as both have as many
      {"1.0.0.52", "1.0.0.53\r\n", true},  // the server's line break and blanks
      {"1.0.0.52", "  1.0.0.53 ", true},
      // Answers the program cannot make sense of are no update.
      {"1.0.0.52", "", false},
      {"1.0.0.52", "\r\n", false},
      {"1.0.0.52", "1.0.1", false},
      {"1.0.0.52", "1.0.0.53.1", false},
      {"1.0.0.52", "1.0.0.5x", false},
      {"1.0.0.52", "1.0..53", false},
      {"1.0.0.52", "1.0.0.-53", false},
      {"1.0.0.52", "1.0.0.+53", false},
      {"1.0.0.52", "1.0.0.99999999999", false},
      {"1.0.0.52", "<html>1.0.0.53</html>", false},
      {"1.0.0.52", "1.0.0.53 beta", false},
      // Five parts: the first three decide; a tie leaves a rest that is no number.
      {"1.0.0.0.0", "1.0.1.0.0", true},
      {"1.0.0.0.1", "1.0.0.0.2", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsNewer(c.installed, c.offered), c.newer) << c.installed << " vs " << c.offered;
}

TEST(Version, InstalledVersionIsTheProjectVersionInFourParts) {
  const std::string installed = GetInstalledVersion();
  EXPECT_EQ(installed.rfind(FERNPAD_PROJECT_VERSION ".", 0), 0u) << installed;
  EXPECT_EQ(std::count(installed.begin(), installed.end(), '.'), 3) << installed;
  EXPECT_FALSE(IsNewer(installed, installed));
}

}  // namespace
}  // namespace fernpad::updater
