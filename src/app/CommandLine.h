#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fernpad::app {

struct CommandLine {
  bool headless = false;
  bool verbose = false;
  bool version = false;
  bool help = false;
  bool checkUpdate = false;             // ask the update server once, print the answer and exit
  std::string updateUrl;                // the update server instead of the build's; empty: the build's
  std::string configDir;                // where "option.dat" lives; empty: the default place
  std::uint16_t httpPort = 12769;       // the handheld always uses 12769; other values are for tests
  std::uint16_t udpPort = 12770;        // likewise for the datagram port
  std::uint16_t udpAnswerPort = 12771;  // and the port datagram answers go to
  std::uint16_t uploadPort = 12772;     // likewise for the photo port
  bool webRemote = false;               // the browser remote on, whatever its setting says
  std::uint16_t webPort = 12773;        // the browser remote's port
  std::string backend;                  // "x11", "portal" or "wlroots" forced; empty: the session decides
  std::vector<std::string> allowHosts;  // put on the allowed list at start (saved), for headless use
};

// Parses the arguments (without the program name). Throws std::invalid_argument with a message for the
// user on an unknown option or a missing or bad value.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string UsageText();

}  // namespace fernpad::app
