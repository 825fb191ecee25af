#include "web/WebAccess.h"

#include <algorithm>
#include <random>

#include "net/RequestScreen.h"

namespace fernpad::web {
namespace {

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

std::string MakeToken() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device random;
  std::string token;
  for (int word = 0; word < 4; ++word) {
    std::uint32_t bits = random();
    for (int i = 0; i < 8; ++i, bits >>= 4) token += kHex[bits & 15];
  }
  return token;
}

bool IsToken(std::string_view token) {
  return token.size() == 32 && std::all_of(token.begin(), token.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string SocketTarget(std::string_view token) {
  return std::string(kSocketPath) + "?t=" + std::string(token);
}

int ScreenHandshake(const Handshake& h, std::string_view token, const std::vector<std::string>& hostNames) {
  // A page elsewhere can open a socket to any address, and the browser says where it came from only in the
  // Origin: without one, the handshake is nobody's page.
  if (!h.hasHost || !h.hasOrigin) return 403;
  net::RequestOrigin origin;
  origin.method = "GET";
  origin.hasHost = true;
  origin.host = h.host;
  origin.hasOrigin = true;
  origin.origin = h.origin;
  origin.hasFetchSite = h.hasFetchSite;
  origin.fetchSite = h.fetchSite;
  if (const int refused = net::ScreenRequest(origin, hostNames)) return refused;
  if (!IsToken(token) || !SameSecret(h.target, SocketTarget(token))) return 403;
  return 0;
}

std::string RemoteAddress(std::string_view address, unsigned port, std::string_view token) {
  return "http://" + std::string(address) + ":" + std::to_string(port) + "/#" + std::string(token);
}

}  // namespace fernpad::web
