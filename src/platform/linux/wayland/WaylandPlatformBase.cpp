#include "platform/linux/wayland/WaylandPlatformBase.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <wayland-client.h>

#include <cstdio>

#include "core/Log.h"
#include "platform/linux/LocaleCountry.h"
#include "platform/linux/X11Platform.h"

namespace fernpad::wayland {

namespace {

thread_local bool t_holdingInput = false;

}  // namespace

void WaylandPlatformBase::HoldInput(bool hold) {
  t_holdingInput = hold;
  if (!hold) FlushInput();
}

bool WaylandPlatformBase::HoldingInput() {
  return t_holdingInput;
}

void Pump(wl_display* dpy) {
  while (wl_display_prepare_read(dpy) != 0)
    if (wl_display_dispatch_pending(dpy) < 0) return;
  wl_display_flush(dpy);
  pollfd p{wl_display_get_fd(dpy), POLLIN, 0};
  if (poll(&p, 1, 0) == 1)
    wl_display_read_events(dpy);
  else
    wl_display_cancel_read(dpy);
  wl_display_dispatch_pending(dpy);
}

std::int16_t WaylandPlatformBase::VkKeyScan(std::uint8_t c) {
  // Letters, digits and the space as on a US keyboard, which is what the logic's own tables expect of
  // "00000409"; any other character with a keysym is typed whole from that keysym.
  if (c >= 'a' && c <= 'z') return static_cast<std::int16_t>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return static_cast<std::int16_t>(0x100 | c);
  if ((c >= '0' && c <= '9') || c == ' ') return c;
  return x11keys::KeysymsForCharacter(c).empty() ? -1 : 0xFF;
}

std::string WaylandPlatformBase::ForegroundWindowTitle() {
  return "";  // Wayland tells a client nothing of other windows
}

std::string WaylandPlatformBase::KeyboardLayoutName() {
  return "00000409";  // characters go by keysym: the logic's US tables are the ones that fit
}

int WaylandPlatformBase::CountryCode() {
  return CountryCodeFromLocale();
}

char WaylandPlatformBase::DecimalSeparator() {
  return LocaleDecimalSeparator();
}

std::vector<Rect> WaylandPlatformBase::Monitors() {
  const Size s = PrimaryScreenSize();
  return {{0, 0, s.width, s.height}};
}

bool WaylandPlatformBase::PowerOff() {
  return RunCommand(powerOffCommand_);
}

std::vector<std::string> WaylandPlatformBase::LocalIPv4Addresses() {
  return InterfaceIPv4Addresses();
}

std::vector<x11keys::Sym> WaylandPlatformBase::KeysymsToType(std::uint8_t c, const char* backend) {
  std::vector<x11keys::Sym> syms = x11keys::KeysymsForCharacter(c);
  if (syms.empty()) {
    char line[100];
    std::snprintf(line, sizeof line, "%s: the character 0x%02X has no keysym; not typed", backend, c);
    log::Write(line);
  }
  return syms;
}

std::vector<WaylandPlatformBase::ButtonChange> WaylandPlatformBase::ButtonChanges(std::uint32_t flags) {
  static constexpr struct {
    std::uint32_t flag;
    ButtonChange change;
  } kButtons[] = {
      {mouse::kLeftDown, {BTN_LEFT, true}},     {mouse::kLeftUp, {BTN_LEFT, false}},
      {mouse::kMiddleDown, {BTN_MIDDLE, true}}, {mouse::kMiddleUp, {BTN_MIDDLE, false}},
      {mouse::kRightDown, {BTN_RIGHT, true}},   {mouse::kRightUp, {BTN_RIGHT, false}},
  };
  std::vector<ButtonChange> changes;
  for (const auto& b : kButtons)
    if (flags & b.flag) changes.push_back(b.change);
  return changes;
}

}  // namespace fernpad::wayland
