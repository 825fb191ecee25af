// Feeds arbitrary target, Host, Origin and Sec-Fetch-Site values (newline-separated; a missing line is an
// absent header) through the screening of the page's socket handshake: nothing may crash or read out of
// bounds, and a handshake let through carries the token's target exactly and the page's own Origin.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../HeaderLines.h"

#include "web/WebAccess.h"

namespace {

constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";

// Host names compare regardless of case (the screening of the command endpoint's requests does the same).
bool SameHost(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const HeaderLines lines = SplitHeaderLines(data, size);
  const auto& fields = lines.value;
  const auto& present = lines.present;
  fernpad::web::Handshake h;
  h.target = fields[0];
  h.hasHost = present[1];
  h.host = fields[1];
  h.hasOrigin = present[2];
  h.origin = fields[2];
  h.hasFetchSite = present[3];
  h.fetchSite = fields[3];
  const int status = fernpad::web::ScreenHandshake(h, kToken, {"my-pc"});
  if (status != 0 && status != 403 && status != 421) std::abort();
  if (status == 0) {
    if (h.target != fernpad::web::SocketTarget(kToken)) std::abort();
    if (!h.hasHost || !h.hasOrigin || h.host.empty()) std::abort();
    constexpr std::string_view kScheme = "http://";
    if (h.origin.substr(0, kScheme.size()) != kScheme || !SameHost(h.origin.substr(kScheme.size()), h.host))
      std::abort();
    if (h.hasFetchSite && h.fetchSite != "none" && h.fetchSite != "same-origin") std::abort();
  }
  // A target with another token never gets through, whatever the headers.
  std::string other = fernpad::web::SocketTarget(kToken);
  other.back() = other.back() == '0' ? '1' : '0';
  h.target = other;
  if (fernpad::web::ScreenHandshake(h, kToken, {"my-pc"}) == 0) std::abort();
  return 0;
}
