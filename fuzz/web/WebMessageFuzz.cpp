// Feeds arbitrary bytes to the page's message mapping as one message. Whatever comes in, what goes out must
// be requests the command handler takes as the handheld's own: at most two, each "x:" number, "y:" number
// and one of the commands the page may reach, and for the keys and the typed text a "v= " payload with data
// (a bare "v=" would press Backspace). Keys are codes 1 to 255 (the keyboard cuts a list longer than it
// takes, down and up alike). A typed text reaches the keyboard as sent: no hex spelling of a special
// character, no control character or byte the code page leaves undefined, nothing the keyboard would cut.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "input/Numbers.h"
#include "web/WebMessages.h"

namespace {

constexpr std::size_t kMaxTypedText = 4096;  // what the keyboard types of one request

constexpr std::string_view kReachable[] = {"a=m",   "a=d",    "a=u",    "a=dabs",    "a=mabs", "a=uabs",
                                           "a=mbl", "a=mbld", "a=mblu", "a=mbm",     "a=mbmd", "a=mbmu",
                                           "a=mbr", "a=mbrd", "a=mbru", "a=scrollm", "a=k",    "a=vkd",
                                           "a=vku", "a=ss",   "a=ssPad"};

void Check(bool condition) {
  if (!condition) std::abort();
}

// A number parameter as the handler reads it: the prefix, then a plain decimal that converts.
void CheckNumber(const std::string& param, std::string_view prefix) {
  Check(param.compare(0, prefix.size(), prefix) == 0);
  const std::string_view number = std::string_view(param).substr(prefix.size());
  Check(!number.empty() && number.size() <= 12);
  Check(number.find_first_of("eE \t") == std::string_view::npos);
  try {
    fernpad::input::ParseNumber(param, '.');
  } catch (const fernpad::input::ConversionError&) {
    std::abort();
  }
}

bool Undefined(unsigned char b) {
  return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  const auto requests = fernpad::web::MapWebMessage(message);
  Check(requests.size() <= 2);
  if (message.size() > fernpad::web::kMaxMessage) Check(requests.empty());
  std::string typed;
  for (const auto& params : requests) {
    Check(params.size() == 3 || params.size() == 4);
    CheckNumber(params[0], "x:");
    CheckNumber(params[1], "y:");
    const std::string& command = params[2];
    Check(std::find(std::begin(kReachable), std::end(kReachable), command) != std::end(kReachable));
    const bool keys = command == "a=vkd" || command == "a=vku";
    const bool text = command == "a=k";
    Check(params.size() == ((keys || text) ? 4u : 3u));
    if (requests.size() == 2) Check(text);
    if (!keys && !text) continue;
    const std::string& payload = params[3];
    Check(payload.size() > 3 && payload.compare(0, 3, "v= ") == 0);
    const std::string_view bytes = std::string_view(payload).substr(3);
    if (keys) {
      Check(bytes.find('\0') == std::string_view::npos);
      continue;
    }
    Check(bytes.size() <= kMaxTypedText);
    Check(bytes != " AC" && bytes != " 22");
    Check(std::none_of(bytes.begin(), bytes.end(),
                       [](char c) { return Undefined(static_cast<unsigned char>(c)); }));
    typed += bytes;
  }
  // A text of printable ASCII is typed as it is, all of it.
  if (message.size() > 2 && message.substr(0, 2) == "k " && message.size() <= fernpad::web::kMaxMessage &&
      std::all_of(message.begin() + 2, message.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    Check(typed == message.substr(2));
  return 0;
}
