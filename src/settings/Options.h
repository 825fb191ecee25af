#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fernpad::settings {

// A registered upload device.
struct TSnapferryDevice {
  std::string Identifier;
  std::string Name;
  std::string Folder;
  friend bool operator==(const TSnapferryDevice&, const TSnapferryDevice&) = default;
};

// Every stored option, with the defaults of a first start. Strings are bytes, stored as they are: what
// came over the wire (host addresses, device identifiers and names) in the handheld's Windows-1252; folder
// paths, this machine's own, in the file system's encoding (UTF-8 on Linux).
struct Options {
  int MouseAcceleration = 1;              // "Mouse acceleration:" (ScrollBar1), 1..100
  bool SmoothImage = false;               // CheckBox1
  std::uint32_t PointerColor = 0xFFFFFF;  // Shape1, colour reference 0x00BBGGRR; white on a first start
  std::vector<std::string> AllowedHosts;
  std::vector<std::string> DeniedHosts;
  bool CheckUpdatesOnStartup = false;  // CheckBox2
  bool StartWithWindows = false;       // CheckBox3
  bool CursorJumpFix = false;          // CheckBox4
  bool DisableAccessControl = false;   // CheckBox5
  std::string DefaultFolder = "C:\\";  // folder of the "Default" upload entry
  std::vector<TSnapferryDevice> Devices;
  friend bool operator==(const Options&, const Options&) = default;
};

}  // namespace fernpad::settings
