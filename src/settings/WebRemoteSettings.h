#pragma once

#include <filesystem>
#include <string>

namespace fernpad::settings {

// The browser remote's settings. They live in a small text file of their own beside "option.dat", which
// keeps the byte layout the handhelds' server always had.
struct WebRemoteSettings {
  bool enabled = false;      // "Browser remote"
  bool keepAddress = false;  // "keep this address": the token survives a restart
  std::string token;         // the kept token (only while keepAddress)
};

// The file's name, beside "option.dat".
inline constexpr char kWebRemoteFileName[] = "browser-remote.txt";
std::filesystem::path WebRemoteSettingsPath(const std::filesystem::path& optionsFile);

// Reads the file: lines "name=value" (enabled=0|1, keep-address=0|1, token=...). A missing, unreadable
// or damaged file, unknown lines and bad values give the defaults for what they concern. The token is read
// only while keep-address is 1, as it stands: whoever uses it checks its form.
WebRemoteSettings LoadWebRemoteSettings(const std::filesystem::path& path);

// Writes the file in one step (the token only while keepAddress) (a temporary file renamed over it). Throws
// OrnivoIoError on failure.
void SaveWebRemoteSettings(const std::filesystem::path& path, const WebRemoteSettings& settings);

}  // namespace fernpad::settings
