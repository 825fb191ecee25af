#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fernpad {

// The Linux backend on an X server: XTest for buttons and keys, XQueryPointer/XWarpPointer for the cursor,
// XRandR for the monitors. Screen coordinates count from the primary monitor's top-left corner
// (PrimaryMonitorRect in X11Monitors.h, the rule the capture follows too); windows are placed in root-window
// coordinates, so ScreenOrigin is that corner.
class X11Platform : public Platform {
 public:
  // The most wheel clicks one mouse record turns (an amount of 120 is one click).
  static constexpr std::int64_t kMaxWheelClicks = 50;

  // Opens the display (empty: $DISPLAY). Throws std::runtime_error when there is no X server or it lacks
  // the XTest extension.
  explicit X11Platform(const std::string& displayName = "");
  ~X11Platform() override;

  bool GetCursorPos(Point& p) override;
  bool SetCursorPos(Point p) override;
  bool MoveCursorBy(int dx, int dy) override;
  void HoldInput(bool hold) override;
  void FlushInput() override;
  void SendMouseInput(std::uint32_t flags, std::int32_t mouseData) override;
  void SendKeyInput(std::uint16_t virtualKey, bool keyUp) override;
  void BeginTypedCharacter(std::uint8_t c) override;
  void EndTypedCharacter() override;
  std::int16_t VkKeyScan(std::uint8_t c) override;
  std::string ForegroundWindowTitle() override;
  std::string KeyboardLayoutName() override;
  int CountryCode() override;
  char DecimalSeparator() override;
  Size PrimaryScreenSize() override;
  std::vector<Rect> Monitors() override;
  Point ScreenOrigin() override;
  void CaptureScreen(Bitmap24& out) override;
  bool PowerOff() override;
  std::vector<std::string> LocalIPv4Addresses() override;

  // The command PowerOff runs (no shell); replaced by tests.
  void SetPowerOffCommand(std::vector<std::string> argv) { powerOffCommand_ = std::move(argv); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<std::string> powerOffCommand_{"systemctl", "poweroff", "--check-inhibitors=no"};
};

// Helpers without an X server, shared with tests.
// Runs argv (no shell) and returns whether it exited with status 0.
bool RunCommand(const std::vector<std::string>& argv);
// The non-loopback IPv4 addresses of the machine's interfaces that are up, in the OS's order.
std::vector<std::string> InterfaceIPv4Addresses();
// The decimal separator of the user's numeric locale ($LC_ALL, $LC_NUMERIC, $LANG), '.' when unknown.
char LocaleDecimalSeparator();

}  // namespace fernpad
