#include <gtest/gtest.h>

#include "updater/Reasons.h"
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

// The boxes this program adds: a caption, the language of the country, the reason and the installer in them.
TEST(Texts, NewBoxesSpeakTheCountrysLanguageAndCarryTheirDetails) {
  const std::string reason = DownloadFailureReason(49, DownloadFailure::SignatureInvalid, "bad key");
  EXPECT_NE(reason.find("Signatur"), std::string::npos);
  EXPECT_NE(reason.find("\r\nDetails: bad key"), std::string::npos);
  EXPECT_NE(DownloadFailedBox(49, reason).text.find(reason), std::string::npos);
  struct Case {
    BoxText box;
    const char* word;  // a word of the box's language
  } cases[] = {
      {DownloadFailedBox(49, "x"), "nicht installiert"},
      {DownloadFailedBox(1, "x"), "not installed"},
      {NoUpdateServerBox(49), "Update-Server"},
      {NoUpdateServerBox(43), "update server"},
      {HandOverBox(49, "/d/Update.deb"), "/d/Update.deb"},
      {HandOverBox(49, "/d/Update.deb"), "beendet"},
      {HandOverBox(41, "/d/Update.deb"), "/d/Update.deb"},
      {HandOverBox(41, "/d/Update.deb"), "closes now"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.box.caption.empty()) << c.box.text;
    EXPECT_NE(c.box.text.find(c.word), std::string::npos) << c.box.text;
  }
  for (auto failure :
       {DownloadFailure::NoTrustedKeys, DownloadFailure::NoDataFolder, DownloadFailure::Transfer,
        DownloadFailure::Store, DownloadFailure::SignatureMissing, DownloadFailure::SignatureInvalid})
    EXPECT_NE(DownloadFailureReason(49, failure), DownloadFailureReason(1, failure));
}

}  // namespace
}  // namespace fernpad::updater
