#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// Starting the server with the user's session.
namespace fernpad::settings {

class Autostart {
 public:
  virtual ~Autostart() = default;
  // Registers the program to start with the session, or removes the registration (removing a missing
  // one is no error). False when the system refused; nothing is reported beyond that.
  virtual bool SetAutostart(bool enabled) = 0;
};

// An XDG autostart entry: a desktop entry file whose Exec line starts the program.
class XdgAutostart : public Autostart {
 public:
  XdgAutostart(std::filesystem::path programPath, std::filesystem::path entryFile);
  bool SetAutostart(bool enabled) override;
  const std::filesystem::path& EntryFile() const { return entryFile_; }

 private:
  std::filesystem::path programPath_;
  std::filesystem::path entryFile_;
};

// $XDG_CONFIG_HOME/autostart/fernpad-server.desktop (default ~/.config); empty without a home folder.
std::filesystem::path XdgAutostartEntryPath();

// The command an autostart entry runs for the program at `programPath`: its bare file name when looking
// that name up in `pathVariable` (a PATH value; relative entries are skipped, as the session starts the
// entry from another folder) finds this very program, as for an installed program; otherwise the path.
std::string AutostartCommand(const std::filesystem::path& programPath, const std::string& pathVariable);

// The Exec value that runs `programPath` without arguments: a path of letters, digits and / . _ + -
// alone as it is, any other as one double-quoted argument, escaped for both the quoting and the string
// rules of desktop entries ('%' doubled). nullopt for an empty path or one holding control characters
// that a desktop entry cannot carry.
std::optional<std::string> DesktopEntryExec(const std::string& programPath);
// The whole desktop entry, or nullopt as above.
std::optional<std::string> DesktopEntryText(const std::string& programPath);

// The registry as the Run-key autostart needs it; a Windows backend implements it.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;  // closes the key
  // A REG_SZ value; the stored size counts the terminating zero.
  virtual bool SetStringValue(const std::string& name, const std::string& value) = 0;
  // True also when the value did not exist.
  virtual bool DeleteValue(const std::string& name) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens or creates a key under HKEY_CURRENT_USER with write access (non-volatile, no class);
  // null on failure.
  virtual std::unique_ptr<RegistryKey> CreateCurrentUserKey(const std::string& subKey) = 0;
};

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "FernpadServer";

// The value "FernpadServer" under the current user's Run key, holding the full program path unquoted.
class RunKeyAutostart : public Autostart {
 public:
  RunKeyAutostart(std::shared_ptr<Registry> registry, std::string programPath);
  bool SetAutostart(bool enabled) override;

 private:
  std::shared_ptr<Registry> registry_;
  std::string programPath_;
};

// This system's autostart for the running program: the XDG entry on Linux, the Run key on Windows; null
// when the program's path cannot be stored there.
std::unique_ptr<Autostart> MakeDefaultAutostart();

}  // namespace fernpad::settings
