// The texts of the updater's boxes. The German and English texts of the version request, the no-update box
// and the offer are the program's own and stay exactly as they are, "eror" included.
#include <initializer_list>

#include "updater/Reasons.h"
#include "updater/Updater.h"

namespace fernpad::updater {
namespace {

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const auto& line : lines) {
    if (&line != lines.begin()) text += "\r\n";
    text += line;
  }
  return text;
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return {u8.begin(), u8.end()};
}

}  // namespace

bool UsesGerman(int countryCode) {
  return countryCode == 49;
}

BoxText RequestFailedBox(int countryCode) {
  if (UsesGerman(countryCode))
    return {"Warnung",
            "Es ist ein Fehler beim Online-Update aufgetreten. Bitte stellen Sie sicher, dass eine "
            "Verbindung ins "
            "Internet besteht."};
  return {"Warning",
          "There was an eror while the online update. Please, make sure your computer is connected to the "
          "internet."};
}

BoxText NoUpdateBox(int countryCode) {
  if (UsesGerman(countryCode)) return {"Hinweis", "Es steht kein Update zum Download bereit."};
  return {"", "No new updates available at the moment."};
}

BoxText OfferBox(int countryCode, const std::string& programName, const std::string& installed,
                 const std::string& available) {
  if (UsesGerman(countryCode))
    return {"Update", Lines({"Es steht ein Update für " + programName + " bereit.", "",
                             "Aktuelle Version: " + installed, "Verfügbare Version: " + available, "",
                             "Für die Ausführung des Updates muss das Programm geschlossen werden.",
                             "Jetzt das Programm schließen, das Update downloaden und installieren?"})};
  return {"Update", Lines({"There is a new update available for " + programName + ".", "",
                           "Installed version: " + installed, "Available version: " + available, "",
                           "To start the update the application to be updated must be closed.",
                           "Close application, download and install update now?"})};
}

BoxText DownloadFailedBox(int countryCode, const std::string& reason) {
  if (UsesGerman(countryCode)) return {"Warnung", Lines({"Das Update wurde nicht installiert.", "", reason})};
  return {"Warning", Lines({"The update was not installed.", "", reason})};
}

BoxText NoUpdateServerBox(int countryCode) {
  if (UsesGerman(countryCode))
    return {"Hinweis",
            "Diese Ausgabe des Programms hat keinen Update-Server und kann daher nicht nach Updates suchen."};
  return {"Note", "This build of the program has no update server, so it cannot look for updates."};
}

BoxText HandOverBox(int countryCode, const std::filesystem::path& installer) {
  if (installer.extension() == ".exe") {
    if (UsesGerman(countryCode))
      return {"Update", Lines({"Das Update wurde heruntergeladen und geprüft.", "",
                               "Das Installationsprogramm wird jetzt gestartet:", Utf8(installer), "",
                               "Das Programm wird jetzt beendet."})};
    return {"Update", Lines({"The update was downloaded and verified.", "", "The installer is started now:",
                             Utf8(installer), "", "The program closes now."})};
  }
  if (UsesGerman(countryCode))
    return {"Update", Lines({"Das Update wurde heruntergeladen und geprüft.", "",
                             "Das Paket wird jetzt mit der Paketinstallation Ihres Desktops geöffnet:",
                             Utf8(installer), "", "Das Programm wird jetzt beendet."})};
  return {"Update", Lines({"The update was downloaded and verified.", "",
                           "The package is now opened with your desktop's package installer:",
                           Utf8(installer), "", "The program closes now."})};
}

std::string DownloadFailureReason(int countryCode, DownloadFailure failure, const std::string& detail) {
  const bool de = UsesGerman(countryCode);
  std::string reason;
  switch (failure) {
    case DownloadFailure::NoTrustedKeys:
      reason = de ? "Diese Ausgabe des Programms enthält keinen Schlüssel, mit dem sich die Echtheit eines "
                    "Updates prüfen lässt. Es wurde nichts heruntergeladen."
                  : "This build of the program contains no key to check an update's authenticity with. "
                    "Nothing was downloaded.";
      break;
    case DownloadFailure::NoDataFolder:
      reason = de ? "Es gibt keinen Ordner, in dem das Update gespeichert werden kann."
                  : "There is no folder to save the update in.";
      break;
    case DownloadFailure::Transfer:
      reason = de ? "Der Download ist fehlgeschlagen. Bitte stellen Sie sicher, dass eine Verbindung ins "
                    "Internet besteht."
                  : "The download failed. Please make sure your computer is connected to the internet.";
      break;
    case DownloadFailure::Store:
      reason = de ? "Das Update konnte nicht gespeichert werden. Bitte prüfen Sie, ob genug freier "
                    "Speicherplatz vorhanden ist."
                  : "The update could not be saved. Please check that there is enough free disk space.";
      break;
    case DownloadFailure::SignatureMissing:
      reason = de ? "Die Signatur des Updates konnte nicht geladen werden, daher lässt sich seine Echtheit "
                    "nicht prüfen. Die Datei wurde gelöscht."
                  : "The update's signature could not be downloaded, so its authenticity cannot be "
                    "checked. The file was deleted.";
      break;
    case DownloadFailure::SignatureInvalid:
      reason = de ? "Die Signatur des Updates ist ungültig oder gehört nicht zu dieser Version. Die Datei "
                    "wurde gelöscht."
                  : "The update's signature is invalid or does not belong to this version. The file was "
                    "deleted.";
      break;
  }
  if (!detail.empty()) reason += "\r\nDetails: " + detail;
  return reason;
}

}  // namespace fernpad::updater
