// Feeds arbitrary datagrams through the decoder and the datagram commands (against the fake platform, with
// typing left out): nothing may crash, hang or read past the datagram's end.
#include <cstddef>
#include <cstdint>
#include <span>

#include "discovery/DatagramCommands.h"
#include "platform/fake/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fernpad::FakePlatform platform;
  static fernpad::NullUi ui;
  static fernpad::settings::LiveSettings settings;
  static fernpad::input::InputState state(platform);
  static fernpad::discovery::DatagramCommands commands(
      platform, ui, settings, state, fernpad::input::CommandServices{.typeText = [](std::string_view) {}},
      fernpad::discovery::DatagramLink{});
  static const bool open = [] {
    fernpad::settings::Options everyone;
    everyone.DisableAccessControl = true;
    settings.Load(everyone);
    return true;
  }();
  (void)open;
  commands.IdUDPServer1UDPRead("127.0.0.1", std::span<const std::uint8_t>(data, size));
  platform.ClearRecords();
  return 0;
}
