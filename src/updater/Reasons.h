#pragma once

#include <string>

// Why a download was refused, in the words of the box's language.
namespace fernpad::updater {

enum class DownloadFailure {
  NoTrustedKeys,     // the build has no key to check a download with: nothing is fetched
  NoDataFolder,      // there is nowhere to store the installer
  Transfer,          // the installer could not be fetched
  Store,             // it could not be written, e.g. the disk is full
  SignatureMissing,  // its signature could not be fetched
  SignatureInvalid,  // the signature is malformed, from an unknown key, wrong, or for another version
};

// The reason shown in DownloadFailedBox; a non-empty `detail` (English, technical) follows on its own line.
std::string DownloadFailureReason(int countryCode, DownloadFailure failure, const std::string& detail = {});

}  // namespace fernpad::updater
