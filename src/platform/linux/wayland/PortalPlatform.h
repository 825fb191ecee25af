#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/wayland/WaylandPlatformBase.h"

namespace fernpad {

// The Linux backend over the desktop portal (GNOME, KDE): one RemoteDesktop session with the monitor's
// ScreenCast stream for moves, buttons, the wheel and keys, and that stream's latest PipeWire frame for
// snapshots. The desktop asks the user when the backend starts (GNOME at every start: it cannot remember a
// grant of remote control). The desktop tells no program where the pointer is: the position the logic
// reads is the one this backend set (it starts at the middle of the monitor). Keys the Windows codes name
// by their place go as that key's code, the others as keysyms, which the desktop finds on its own layout;
// typed characters go as keysyms, and those the desktop's layout lacks are skipped (the desktop would
// refuse them).
class PortalPlatform : public wayland::WaylandPlatformBase {
 public:
  // Starts the session and waits up to answerTimeout for the user's answer in the desktop's dialog. The
  // Wayland display (empty: none) tells which characters the desktop's layout can type.
  // Throws std::runtime_error (saying why) when there is no portal, the user refuses or does not answer,
  // or the monitor's frames cannot be reached.
  explicit PortalPlatform(const std::string& waylandDisplay,
                          std::chrono::milliseconds answerTimeout = std::chrono::minutes(2));
  ~PortalPlatform() override;

  bool GetCursorPos(Point& p) override;
  bool SetCursorPos(Point p) override;
  bool MoveCursorBy(int dx, int dy) override;
  void FlushInput() override;
  void SendMouseInput(std::uint32_t flags, std::int32_t mouseData) override;
  void SendKeyInput(std::uint16_t virtualKey, bool keyUp) override;
  void BeginTypedCharacter(std::uint8_t c) override;
  void EndTypedCharacter() override;
  Size PrimaryScreenSize() override;
  void CaptureScreen(Bitmap24& out) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad
