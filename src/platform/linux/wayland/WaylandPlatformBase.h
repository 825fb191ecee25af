#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/X11KeyTables.h"

struct wl_display;

namespace fernpad::wayland {

// Sends what is queued, then handles what the compositor has sent so far, without waiting.
void Pump(wl_display* dpy);

// What the Wayland backends answer alike: a Wayland client learns nothing of other windows, types by keysym
// (so the logic's own tables are the US keyboard's, "00000409"), sees one monitor, and takes the locale,
// the addresses and the power-off command from the system as the X11 backend does.
class WaylandPlatformBase : public Platform {
 public:
  // The most wheel clicks one mouse record turns.
  static constexpr int kMaxWheelClicks = 50;

  // The calling thread's relative moves may wait for FlushInput while it holds input.
  void HoldInput(bool hold) final;
  std::int16_t VkKeyScan(std::uint8_t c) override;
  std::string ForegroundWindowTitle() override;
  std::string KeyboardLayoutName() override;
  int CountryCode() override;
  char DecimalSeparator() override;
  std::vector<Rect> Monitors() override;
  bool PowerOff() override;
  std::vector<std::string> LocalIPv4Addresses() override;

  void SetPowerOffCommand(std::vector<std::string> argv) { powerOffCommand_ = std::move(argv); }

 protected:
  // Whether the calling thread holds input.
  static bool HoldingInput();

  // The keysyms that type the Windows-1252 character, best first; none (said in the log, prefixed with
  // `backend`) when it has none.
  static std::vector<x11keys::Sym> KeysymsToType(std::uint8_t c, const char* backend);

  // The button changes a mouse record asks for, as evdev button codes, in the order they are to be sent.
  struct ButtonChange {
    std::uint32_t code;
    bool press;
  };
  static std::vector<ButtonChange> ButtonChanges(std::uint32_t flags);

 private:
  std::vector<std::string> powerOffCommand_{"systemctl", "poweroff", "--check-inhibitors=no"};
};

}  // namespace fernpad::wayland
