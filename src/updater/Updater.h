#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/OrnivoSourceBase.h"

// The online updater: asks the update server whether a newer version exists, offers it, downloads the
// installer with its signature, verifies it and hands it to the system. The flow is the same for both front
// ends; they differ only in their UpdaterUi.
namespace fernpad::updater {

// ---- Texts ---------------------------------------------------------------------------------------------

// A message box's caption and text (lines separated by "\r\n"), in UTF-8.
struct BoxText {
  std::string caption;
  std::string text;
  friend bool operator==(const BoxText&, const BoxText&) = default;
};

// Country code 49 gets the German texts, every other one the English texts.
bool UsesGerman(int countryCode);

// The version request failed (warning icon, OK).
BoxText RequestFailedBox(int countryCode);
// No newer version (OK only; the English caption is empty).
BoxText NoUpdateBox(int countryCode);
// The offer (Yes / No), with the raw answer as the available version.
BoxText OfferBox(int countryCode, const std::string& programName, const std::string& installed,
                 const std::string& available);
// The download failed, was refused by the signature check, or could not be stored (warning icon, OK).
BoxText DownloadFailedBox(int countryCode, const std::string& reason);
// This build knows no update server: nothing is asked of anybody (information icon, OK).
BoxText NoUpdateServerBox(int countryCode);
// Said before the downloaded installer is handed over and the program closes (OK): a program (".exe") is
// started, a package is opened with the desktop's package installer.
BoxText HandOverBox(int countryCode, const std::filesystem::path& installer);

// ---- Versions ------------------------------------------------------------------------------------------

// The running build's own version, four decimal numbers ("0.1.0.0").
std::string GetInstalledVersion();

// Whether `offered` (the server's answer) is higher than `installed`, compared part by part as decimal
// numbers. Blanks and line breaks around the answer are ignored; a part that is not a decimal number, or
// texts with different numbers of parts, count as no update.
bool IsNewer(std::string_view installed, std::string_view offered);

// ---- HTTP ----------------------------------------------------------------------------------------------

struct TransferProgress {
  std::int64_t received = 0;
  std::int64_t total = -1;  // -1: the server gave no size
};

// A request that failed: no connection, an HTTP error status, a TLS failure, a write error...
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The body could not be written to its file: the disk is full, the folder went away...
class FileWriteError : public HttpError {
 public:
  using HttpError::HttpError;
};
// The progress callback asked to stop.
class TransferCancelled : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One small HTTP(S) client per platform (libcurl on Linux, WinHTTP on Windows): system CA certificates,
// the stored proxy (with basic authentication when set), "Cache-Control: no-cache" on every request.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // The whole body of a GET; throws HttpError.
  virtual std::string Get(const std::string& url) = 0;
  // A GET written to `file` as it arrives; `progress` is called as bytes come in and returns false to
  // cancel. Throws HttpError or TransferCancelled; the file is then removed.
  virtual void Download(const std::string& url, const std::filesystem::path& file,
                        const std::function<bool(const TransferProgress&)>& progress) = 0;
};
std::unique_ptr<HttpClient> MakeHttpClient(const settings::UpdaterSettings& proxy);

// ---- The check -----------------------------------------------------------------------------------------

// What a check needs; ConfigForThisProgram fills it for the running program.
struct UpdaterConfig {
  std::string programName = settings::kProgramName;
  int countryCode = 49;
  std::string installedVersion;
  std::string baseUrl;                  // the update server, ending in "/"; empty: this build has none
  std::vector<std::string> publicKeys;  // trusted minisign public keys (base64 lines); none: no download
  std::filesystem::path dataFolder;     // where the installer is stored
  settings::UpdaterSettings proxy;
  std::function<std::unique_ptr<HttpClient>(const settings::UpdaterSettings&)> makeClient = MakeHttpClient;
};

// The front end's side of a check. Called on the thread that runs the check (never the GUI thread: the
// Qt front end carries each call there and waits where a call returns an answer).
class UpdaterUi {
 public:
  virtual ~UpdaterUi() = default;
  enum class Icon { Warning, Information, None };
  // Shows a box with an OK button; returns once it is closed.
  virtual void ShowBox(const BoxText& box, Icon icon) = 0;
  // Shows the offer with Yes and No; true for Yes.
  virtual bool AskYesNo(const BoxText& box) = 0;
  // The download starts: the progress window appears.
  virtual void DownloadStarted() = 0;
  // Progress of the download; returns false when the user pressed Cancel.
  virtual bool DownloadProgress(const TransferProgress& progress) = 0;
  // The download ended (done, failed or cancelled): the progress window goes.
  virtual void DownloadEnded() = 0;
  // Starts the verified installer the way the system opens such a file (ShellExecute "open" on Windows,
  // xdg-open or gio open on Linux) and closes the program.
  virtual void HandOver(const std::filesystem::path& installer) = 0;
};

enum class CheckOutcome {
  NoServer,    // this build has no update server: nothing was sent
  Failed,      // the version request failed
  UpToDate,    // no newer version
  Declined,    // a newer version was offered and declined
  Cancelled,   // the download was cancelled
  Refused,     // the download failed or did not pass the signature check: nothing was kept
  HandedOver,  // the verified installer was handed over
};

// The running program's configuration: the build's update server (CMake cache variable FERNPAD_UPDATE_URL)
// unless `updateUrl` (--update-url) is given, the build's trusted public keys (FERNPAD_UPDATE_PUBLIC_KEYS),
// the installed version, and the data folder with the proxy settings of its "option.dat" (the file is
// created and the program path recorded in it, as every check does).
UpdaterConfig ConfigForThisProgram(const std::string& updateUrl, int countryCode);

// The version question alone, without a box: what --check-update and the headless start-up check report.
struct VersionCheck {
  enum class Result { NoServer, Failed, UpToDate, Available };
  Result result = Result::NoServer;
  std::string available;  // Available: the offered version, trimmed
  std::string error;      // Failed: what went wrong
};
VersionCheck CheckVersion(const UpdaterConfig& config);

// The check, the offer, the signed download and the hand-over. Silent (the start-up check) shows no box for
// a failed request, no update or a missing update server. The texts follow the country code.
CheckOutcome CheckForUpdate(const UpdaterConfig& config, UpdaterUi& ui, bool silent);

// ---- The system's side (updater/InstallerLinux.cpp, platform/windows/WindowsInstaller.cpp) ------------

// The installer's file name in the data folder: "Update.exe" on Windows, "Update.deb" elsewhere.
std::string InstallerName();

// Starts `installer` the way the system opens such a file: ShellExecute with the verb "open", shown
// normally, on Windows; xdg-open, or gio open where xdg-open is missing, on Linux. Does not wait for it.
// False when nothing could be started.
bool OpenInstaller(const std::filesystem::path& installer);

}  // namespace fernpad::updater
