#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernpad::net {

// The headers of a request that say who made it, as received (absent headers are empty and flagged).
struct RequestOrigin {
  std::string_view method;
  bool hasHost = false;
  std::string_view host;
  bool hasOrigin = false;
  std::string_view origin;
  bool hasFetchSite = false;
  std::string_view fetchSite;  // Sec-Fetch-Site
};

// Whether a request is the handheld's kind: a plain GET with nothing that says a web page made it. The
// handheld sends a request line and at most a Host header with the PC's address, so everything else is
// refused before any command runs:
// - a method other than GET: 405;
// - a Host that is not an IP literal, "localhost" or one of hostNames (any case, with or without a port):
//   421, so a page whose name was rebound to this machine's address never becomes same-origin;
// - Sec-Fetch-Site other than "none" or "same-origin", or an Origin other than "http://" + Host: 403, so a
//   page on another site cannot send commands through a browser on an allowed device.
// Returns 0 when the request may go on, else the status to answer with.
int ScreenRequest(const RequestOrigin& request, const std::vector<std::string>& hostNames);

// True for a dotted IPv4 address or a bracketed IPv6 address.
bool IsIpLiteral(std::string_view host);

}  // namespace fernpad::net
