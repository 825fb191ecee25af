#pragma once

#include <string>

namespace fernpad::app {

// The program's own texts that both front ends show.
inline constexpr char kApplicationTitle[] = "Tactivo Server";  // also the caption of the chat message box
inline constexpr char kMainWindowTitle[] = "Fernpad Server";
inline constexpr char kTrayBalloon[] = "Fernpad Server is active.";
// The web pages the main window's pictures of the maker's other handheld apps open.
inline constexpr char kFernpadPage[] = "https://ornivo.com/fernpad";
inline constexpr char kSnapferryPage[] = "https://ornivo.com/snapferry";

// The main window's address line for the host's addresses (GetLocalAddresses).
inline std::string AddressLine(const std::string& addresses) {
  return "The server IP(s) is/are: " + addresses;
}

}  // namespace fernpad::app
