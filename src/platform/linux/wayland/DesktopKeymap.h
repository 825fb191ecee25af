#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace fernpad::wayland {

// The keyboard layout a Wayland compositor gives its clients, read over a connection of its own, so a
// backend that types through the compositor's layout (the desktop portal) knows which characters that
// layout cannot type. Not thread-safe.
class DesktopKeymap {
 public:
  // Connects to the display (a name or a path; empty: $WAYLAND_DISPLAY). Never throws: without a display or
  // without a keyboard on its seat, nothing is known.
  explicit DesktopKeymap(const std::string& displayName);
  ~DesktopKeymap();
  DesktopKeymap(const DesktopKeymap&) = delete;
  DesktopKeymap& operator=(const DesktopKeymap&) = delete;

  // Whether a key of the layout, in any of its groups and levels, carries the keysym; true when the layout
  // is not known (a changed layout is read first).
  bool CanType(std::uint32_t keysym);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad::wayland
