#include "updater/Updater.h"

#include <system_error>

#include "core/Log.h"
#include "settings/SettingsPaths.h"
#include "updater/BuildConfig.h"
#include "updater/Minisign.h"
#include "updater/Reasons.h"

namespace fernpad::updater {
namespace {
namespace fs = std::filesystem;

std::string Trim(const std::string& text) {
  constexpr const char* kBlanks = " \t\r\n";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Percent-encodes everything but the unreserved characters.
std::string QueryValue(const std::string& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : value) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

void RemoveQuietly(const fs::path& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

// The download, the signature check and the hand-over, once the offer was accepted.
CheckOutcome DownloadAndHandOver(const UpdaterConfig& config, UpdaterUi& ui, HttpClient& client,
                                 const std::string& version) {
  const int cc = config.countryCode;
  auto refuse = [&](DownloadFailure failure, const std::string& detail) {
    log::Verbose("update: the download was refused: ", detail);
    ui.ShowBox(DownloadFailedBox(cc, DownloadFailureReason(cc, failure, detail)), UpdaterUi::Icon::Warning);
    return CheckOutcome::Refused;
  };

  std::vector<minisign::PublicKey> keys;
  for (const auto& line : config.publicKeys)
    if (const auto key = minisign::ParsePublicKey(line)) keys.push_back(*key);
  if (keys.empty()) return refuse(DownloadFailure::NoTrustedKeys, "");
  if (config.dataFolder.empty()) return refuse(DownloadFailure::NoDataFolder, "");

  const std::string url = config.baseUrl + QueryValue(config.programName) + "/" + InstallerName();
  const fs::path installer = config.dataFolder / InstallerName();
  const fs::path partial = config.dataFolder / (InstallerName() + ".part");
  std::string signature;
  ui.DownloadStarted();
  try {
    client.Download(url, partial, [&ui](const TransferProgress& p) { return ui.DownloadProgress(p); });
  } catch (const TransferCancelled&) {
    RemoveQuietly(partial);
    ui.DownloadEnded();
    log::Verbose("update: the download was cancelled");
    return CheckOutcome::Cancelled;
  } catch (const FileWriteError& e) {
    RemoveQuietly(partial);
    ui.DownloadEnded();
    return refuse(DownloadFailure::Store, e.what());
  } catch (const std::exception& e) {
    RemoveQuietly(partial);
    ui.DownloadEnded();
    return refuse(DownloadFailure::Transfer, e.what());
  }
  try {
    signature = client.Get(url + ".minisig");
  } catch (const std::exception& e) {
    RemoveQuietly(partial);
    ui.DownloadEnded();
    return refuse(DownloadFailure::SignatureMissing, e.what());
  }
  ui.DownloadEnded();

  const auto hash = minisign::HashFile(partial);
  if (!hash) {
    RemoveQuietly(partial);
    return refuse(DownloadFailure::Store, "the downloaded file cannot be read back");
  }
  const auto verdict = minisign::Verify(*hash, signature, keys, config.programName, version);
  if (verdict != minisign::Verdict::Good) {
    RemoveQuietly(partial);
    return refuse(DownloadFailure::SignatureInvalid, minisign::Describe(verdict));
  }
  std::error_code ec;
  fs::rename(partial, installer, ec);
  if (ec) {
    RemoveQuietly(partial);
    return refuse(DownloadFailure::Store, ec.message());
  }
  log::Verbose("update: ", installer.string(), " verified, handing it over");
  ui.ShowBox(HandOverBox(cc, installer), UpdaterUi::Icon::Information);
  ui.HandOver(installer);
  return CheckOutcome::HandedOver;
}

}  // namespace

VersionCheck CheckVersion(const UpdaterConfig& config) {
  VersionCheck check;
  if (config.baseUrl.empty()) return check;
  const std::string url = config.baseUrl + "updates.php?programname=" + QueryValue(config.programName) +
                          "&clientversion=" + QueryValue(config.installedVersion);
  try {
    const std::string answer = Trim(config.makeClient(config.proxy)->Get(url));
    if (IsNewer(config.installedVersion, answer)) {
      check.result = VersionCheck::Result::Available;
      check.available = answer;
    } else {
      check.result = VersionCheck::Result::UpToDate;
    }
  } catch (const std::exception& e) {
    check.result = VersionCheck::Result::Failed;
    check.error = e.what();
  }
  return check;
}

CheckOutcome CheckForUpdate(const UpdaterConfig& config, UpdaterUi& ui, bool silent) {
  const int cc = config.countryCode;
  if (config.baseUrl.empty()) {
    log::Verbose("update: this build has no update server");
    if (!silent) ui.ShowBox(NoUpdateServerBox(cc), UpdaterUi::Icon::Information);
    return CheckOutcome::NoServer;
  }
  const VersionCheck check = CheckVersion(config);
  switch (check.result) {
    case VersionCheck::Result::NoServer:
      return CheckOutcome::NoServer;
    case VersionCheck::Result::Failed:
      log::Verbose("update: the version request failed: ", check.error);
      if (!silent) ui.ShowBox(RequestFailedBox(cc), UpdaterUi::Icon::Warning);
      return CheckOutcome::Failed;
    case VersionCheck::Result::UpToDate:
      log::Verbose("update: ", config.installedVersion, " is up to date");
      if (!silent) ui.ShowBox(NoUpdateBox(cc), UpdaterUi::Icon::None);
      return CheckOutcome::UpToDate;
    case VersionCheck::Result::Available:
      break;
  }
  log::Verbose("update: ", check.available, " is available");
  if (!ui.AskYesNo(OfferBox(cc, config.programName, config.installedVersion, check.available)))
    return CheckOutcome::Declined;
  const auto client = config.makeClient(config.proxy);
  return DownloadAndHandOver(config, ui, *client, check.available);
}

UpdaterConfig ConfigForThisProgram(const std::string& updateUrl, int countryCode) {
  UpdaterConfig config;
  config.countryCode = countryCode;
  config.installedVersion = GetInstalledVersion();
  config.baseUrl = updateUrl.empty() ? std::string(build::kUpdateUrl) : updateUrl;
  if (!config.baseUrl.empty() && config.baseUrl.back() != '/') config.baseUrl.push_back('/');
  for (const char* const* key = build::kPublicKeys; *key; ++key) config.publicKeys.emplace_back(*key);
  try {
    if (const auto stored = settings::InitDataFolderFile(settings::RunningProgramPath().string())) {
      config.proxy = *stored;
      config.dataFolder = settings::DataFolder();
    }
  } catch (const std::exception& e) {
    // The proxy settings are unknown: ask without one rather than not at all.
    log::Verbose("update: the data folder's option.dat: ", e.what());
    config.dataFolder = settings::DataFolder();
  }
  return config;
}

}  // namespace fernpad::updater
