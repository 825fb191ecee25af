#include <gtest/gtest.h>

#include "updater/Updater.h"

namespace fernpad::updater {
namespace {

// Only 49 reads German; neighbours and every other country read English.
TEST(Texts, TheProgramsOwnTextsPerCountry) {
  const BoxText germanFailed{
      "Warnung",
      "Es ist ein Fehler beim Online-Update aufgetreten. Bitte stellen Sie sicher, dass "
      "eine Verbindung ins Internet besteht."};
  const BoxText englishFailed{"Warning",
                              "There was an eror while the online update. Please, make sure your computer is "
                              "connected to the internet."};
  const BoxText germanOffer{
      "Update",
      "Es steht ein Update f\xC3\xBCr FernpadServer bereit.\r\n\r\nAktuelle Version: "
      "1.0.0.52\r\nVerf\xC3\xBC"
      "gbare Version: 1.0.0.53\r\n\r\nF\xC3\xBCr die Ausf\xC3\xBChrung des Updates muss das "
      "Programm geschlossen werden.\r\nJetzt das Programm schlie\xC3\x9F"
      "en, das Update downloaden und installieren?"};
  const BoxText englishOffer{
      "Update",
      "There is a new update available for FernpadServer.\r\n\r\nInstalled version: "
      "1.0.0.52\r\nAvailable version: 1.0.0.53\r\n\r\nTo start the update the application "
      "to be updated must be closed.\r\nClose application, download and install update "
      "now?"};
  struct Case {
    int country;
    bool german;
  } cases[] = {{49, true}, {43, false}, {41, false}, {1, false}, {44, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.country);
    EXPECT_EQ(UsesGerman(c.country), c.german);
    EXPECT_EQ(RequestFailedBox(c.country), c.german ? germanFailed : englishFailed);
    const BoxText noUpdate = c.german ? BoxText{"Hinweis", "Es steht kein Update zum Download bereit."}
                                      : BoxText{"", "No new updates available at the moment."};
    EXPECT_EQ(NoUpdateBox(c.country), noUpdate);
    EXPECT_EQ(OfferBox(c.country, "FernpadServer", "1.0.0.52", "1.0.0.53"),
              c.german ? germanOffer : englishOffer);
  }
}

}  // namespace
}  // namespace fernpad::updater
