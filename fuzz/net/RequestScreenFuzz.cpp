// Feeds arbitrary method, Host, Origin and Sec-Fetch-Site values (newline-separated; a missing line is an
// absent header) through the screening of requests: nothing may crash or read out of bounds, and a request
// let through never carries a foreign Origin or a cross-site fetch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "../HeaderLines.h"

#include "net/RequestScreen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const HeaderLines lines = SplitHeaderLines(data, size);
  const auto& fields = lines.value;
  const auto& present = lines.present;
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
