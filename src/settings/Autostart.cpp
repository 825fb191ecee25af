#include "settings/Autostart.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/Log.h"
#include "settings/FileIo.h"
#include "settings/OrnivoFile.h"
#include "settings/SettingsPaths.h"
#include "settings/XdgDirs.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

XdgAutostart::XdgAutostart(fs::path programPath, fs::path entryFile)
    : programPath_(std::move(programPath)), entryFile_(std::move(entryFile)) {}

bool XdgAutostart::SetAutostart(bool enabled) {
  if (entryFile_.empty()) return false;
  try {
    if (!enabled) {
      file_io::RemoveFile(entryFile_);
      return true;
    }
    const std::optional<std::string> text = DesktopEntryText(programPath_.string());
    if (!text) {
      log::Verbose("Autostart entry not written: the program path cannot be put in a desktop entry");
      return false;
    }
    std::error_code ec;
    fs::create_directories(entryFile_.parent_path(), ec);
    file_io::ReplaceFile(entryFile_,
                         std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()));
    return true;
  } catch (const OrnivoIoError& e) {
    log::Verbose("Autostart entry not changed: ", e.what());
    return false;
  }
}

fs::path XdgAutostartEntryPath() {
  const std::string config = xdg::ConfigHome();
  return config.empty() ? fs::path() : fs::path(config) / "autostart" / "fernpad-server.desktop";
}

std::string AutostartCommand(const fs::path& programPath, const std::string& pathVariable) {
  const fs::path name = programPath.filename();
  std::error_code ec;
  for (std::size_t start = 0; start <= pathVariable.size();) {
    std::size_t end = pathVariable.find(':', start);
    if (end == std::string::npos) end = pathVariable.size();
    const fs::path folder(pathVariable.substr(start, end - start));
    start = end + 1;
    if (!folder.is_absolute()) continue;
    const fs::path candidate = folder / name;
    const fs::file_status status = fs::status(candidate, ec);
    if (ec || !fs::is_regular_file(status) ||
        (status.permissions() & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec)) ==
            fs::perms::none) {
      continue;  // the shell's lookup goes on past names that are no program
    }
    // The first program of that name is what the session would start.
    return fs::equivalent(candidate, programPath, ec) ? name.string() : programPath.string();
  }
  return programPath.string();
}

std::optional<std::string> DesktopEntryExec(const std::string& programPath) {
  if (programPath.empty()) return std::nullopt;
  const bool plain = std::all_of(programPath.begin(), programPath.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '.' || c == '_' || c == '+' || c == '-';
  });
  if (plain) return programPath;
  // First the quoting rule (inside double quotes, " ` $ \ take a backslash), then the string rule of
  // the file format, which doubles every backslash again and spells out tabs and line breaks.
  std::string quoted = "\"";
  for (char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
    if (c == '%') quoted.push_back('%');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  std::string value;
  for (char c : quoted) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) return std::nullopt;
        value.push_back(c);
    }
  }
  return value;
}

std::optional<std::string> DesktopEntryText(const std::string& programPath) {
  const std::optional<std::string> exec = DesktopEntryExec(programPath);
  if (!exec) return std::nullopt;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Fernpad Server\n"
         "Comment=Use a handheld as this computer's mouse and keyboard\n"
         "Exec=" +
         *exec +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

RunKeyAutostart::RunKeyAutostart(std::shared_ptr<Registry> registry, std::string programPath)
    : registry_(std::move(registry)), programPath_(std::move(programPath)) {}

bool RunKeyAutostart::SetAutostart(bool enabled) {
  if (!registry_) return false;
  const std::unique_ptr<RegistryKey> key = registry_->CreateCurrentUserKey(kRunKey);
  if (!key) return false;
  return enabled ? key->SetStringValue(kRunValueName, programPath_) : key->DeleteValue(kRunValueName);
}

}  // namespace fernpad::settings
