#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fernpad {

// The Windows backend: SendInput for buttons, wheel and keys, the physical cursor position (the plain one
// where the physical one is missing), the user's keyboard layout and locale, the primary monitor read
// with BitBlt. Screen coordinates are Windows' own: the primary monitor's top-left corner is (0, 0).
class WindowsPlatform : public Platform {
 public:
  bool GetCursorPos(Point& p) override;
  bool SetCursorPos(Point p) override;
  void SendMouseInput(std::uint32_t flags, std::int32_t mouseData) override;
  void SendKeyInput(std::uint16_t virtualKey, bool keyUp) override;
  std::int16_t VkKeyScan(std::uint8_t c) override;
  std::string ForegroundWindowTitle() override;
  std::string KeyboardLayoutName() override;
  int CountryCode() override;
  char DecimalSeparator() override;
  Size PrimaryScreenSize() override;
  std::vector<Rect> Monitors() override;
  void CaptureScreen(Bitmap24& out) override;
  // Takes the shutdown privilege and switches off with EWX_FORCE, so no program can hold it up.
  bool PowerOff() override;
  std::vector<std::string> LocalIPv4Addresses() override;
};

}  // namespace fernpad
