#include "settings/WebRemoteSettings.h"

#include <string_view>

#include "settings/FileIo.h"

namespace fernpad::settings {

std::filesystem::path WebRemoteSettingsPath(const std::filesystem::path& optionsFile) {
  return optionsFile.parent_path() / kWebRemoteFileName;
}

WebRemoteSettings LoadWebRemoteSettings(const std::filesystem::path& path) {
  WebRemoteSettings s;
  std::string text;
  try {
    const auto bytes = file_io::ReadWholeFile(path, 4096);
    text.assign(bytes.begin(), bytes.end());
  } catch (const std::exception&) {
    return s;
  }
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if ((name == "enabled" || name == "keep-address") && (value == "0" || value == "1"))
      (name == "enabled" ? s.enabled : s.keepAddress) = value == "1";
    else if (name == "token")
      s.token = value;
  }
  if (!s.keepAddress) s.token.clear();
  return s;
}

void SaveWebRemoteSettings(const std::filesystem::path& path, const WebRemoteSettings& s) {
  std::string text = std::string("enabled=") + (s.enabled ? "1" : "0") +
                     "\nkeep-address=" + (s.keepAddress ? "1" : "0") + "\n";
  if (s.keepAddress && s.token.find_first_of("\r\n") == std::string::npos) text += "token=" + s.token + "\n";
  file_io::ReplaceFile(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace fernpad::settings
