#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernpad::web {

// The browser remote's address carries a secret: a page opened from it sends it back when it opens its
// socket, so only someone who saw the address (or its QR code) can control the PC, whatever else runs in
// a browser on an allowed device.

// A new random token: 32 lower-case hex digits (128 bits). Throws what std::random_device throws when the
// system has no source of randomness.
std::string MakeToken();

// True for a token MakeToken could have made (a kept token read back from the settings is checked so).
bool IsToken(std::string_view token);

// The path the page opens its socket at, and the query that carries the token.
inline constexpr std::string_view kSocketPath = "/ws";
std::string SocketTarget(std::string_view token);

// The parts of a socket handshake that say who made it, as received (absent headers are empty and flagged).
struct Handshake {
  std::string_view target;  // path and query
  bool hasHost = false;
  std::string_view host;
  bool hasOrigin = false;
  std::string_view origin;
  bool hasFetchSite = false;
  std::string_view fetchSite;
};

// Whether a socket handshake comes from the page this server gave out: the target is SocketTarget(token)
// exactly, the Host names this machine (an IP literal, "localhost" or one of hostNames, as for the command
// endpoint) and the Origin is present and is "http://" followed by that Host. Returns 0 when it may go on,
// else the status to refuse it with (403; 421 for a Host that names another machine). The token is
// compared in constant time.
int ScreenHandshake(const Handshake& handshake, std::string_view token,
                    const std::vector<std::string>& hostNames);

// The address a person opens on the handheld: "http://" address ":" port "/#" token.
std::string RemoteAddress(std::string_view address, unsigned port, std::string_view token);

}  // namespace fernpad::web
