#include "net/RequestScreen.h"

#include <algorithm>
#include <cctype>

namespace fernpad::net {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsDottedIpv4(std::string_view s) {
  int parts = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (digits < s.size() && std::isdigit(static_cast<unsigned char>(s[digits]))) {
      value = value * 10 + (s[digits] - '0');
      if (++digits > 3) return false;
    }
    if (digits == 0 || value > 255) return false;
    ++parts;
    s.remove_prefix(digits);
    if (s.empty()) return parts == 4;
    if (s.front() != '.' || parts == 4) return false;
    s.remove_prefix(1);
  }
}

// The host of a Host header without its port; empty when the port part is malformed.
std::string_view HostName(std::string_view host) {
  std::string_view port;
  if (!host.empty() && host.front() == '[') {
    const auto close = host.find(']');
    if (close == std::string_view::npos) return {};
    port = host.substr(close + 1);
    host = host.substr(0, close + 1);
    if (!port.empty() && port.front() != ':') return {};
  } else if (const auto colon = host.find(':'); colon != std::string_view::npos) {
    port = host.substr(colon);
    host = host.substr(0, colon);
  }
  if (!port.empty()) {
    port.remove_prefix(1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return {};
  }
  return host;
}

}  // namespace

bool IsIpLiteral(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    const std::string_view inner = host.substr(1, host.size() - 2);
    return inner.find(':') != std::string_view::npos && inner.size() <= 45 &&
           std::all_of(inner.begin(), inner.end(), [](char c) {
             return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
  }
  return IsDottedIpv4(host);
}

int ScreenRequest(const RequestOrigin& r, const std::vector<std::string>& hostNames) {
  if (r.method != "GET") return 405;
  if (r.hasHost) {
    const std::string_view name = HostName(r.host);
    const bool known =
        !name.empty() && (IsIpLiteral(name) || EqualNoCase(name, "localhost") ||
                          std::any_of(hostNames.begin(), hostNames.end(), [&](const std::string& n) {
                            return !n.empty() && EqualNoCase(name, n);
                          }));
    if (!known) return 421;
  }
  if (r.hasFetchSite && r.fetchSite != "none" && r.fetchSite != "same-origin") return 403;
  if (r.hasOrigin) {
    constexpr std::string_view kScheme = "http://";
    const bool own = r.hasHost && r.origin.size() == kScheme.size() + r.host.size() &&
                     r.origin.substr(0, kScheme.size()) == kScheme &&
                     EqualNoCase(r.origin.substr(kScheme.size()), r.host);
    if (!own) return 403;
  }
  return 0;
}

}  // namespace fernpad::net
