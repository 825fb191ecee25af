// Feeds arbitrary method, Host, Origin and Sec-Fetch-Site values (newline-separated; a missing line is an
// absent header) through the screening of requests: nothing may crash or read out of bounds, and a request
// let through never carries a foreign Origin or a cross-site fetch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/RequestScreen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view fields[4];
  bool present[4] = {};
  for (int i = 0; i < 4 && !rest.empty(); ++i) {
    const auto end = rest.find('\n');
    fields[i] = rest.substr(0, end);
    present[i] = true;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  fernpad::net::RequestOrigin r;
  r.method = fields[0];
  r.hasHost = present[1];
  r.host = fields[1];
  r.hasOrigin = present[2];
  r.origin = fields[2];
  r.hasFetchSite = present[3];
  r.fetchSite = fields[3];
  const int status = fernpad::net::ScreenRequest(r, {"my-pc"});
  if (status == 0) {
    if (r.method != "GET") std::abort();
    if (r.hasFetchSite && r.fetchSite != "none" && r.fetchSite != "same-origin") std::abort();
    if (r.hasOrigin && (!r.hasHost || r.origin.size() != r.host.size() + 7)) std::abort();
  }
  return 0;
}
