// Feeds arbitrary request targets through the parameter decoding and the whole command table (against the
// fake platform): nothing may crash, hang or read out of bounds, and every failure must be an exception the
// HTTP layer turns into a server error.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "input/CommandHandler.h"
#include "net/QueryParams.h"
#include "platform/fake/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fernpad::FakePlatform platform;
  static fernpad::NullUi ui;
  static fernpad::settings::LiveSettings settings;
  static fernpad::input::InputState state(platform);
  static fernpad::input::CommandHandler handler(
      platform, ui, settings, state,
      fernpad::input::CommandServices{.snapshot = [](int, int, int, bool) { return std::string("jpeg"); }});
  const std::string_view target(reinterpret_cast<const char*>(data), size);
  try {
    handler.IdHTTPServer1CommandGet("127.0.0.1", fernpad::net::DecodeQueryParams(target));
  } catch (const std::exception&) {
    // A request error: answered with status 500.
  }
  platform.ClearRecords();
  return 0;
}
