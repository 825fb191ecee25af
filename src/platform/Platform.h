#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Bitmap24.h"
#include "core/Geometry.h"

namespace fernpad {

// Mouse record flags, with the values the handheld protocol and the Windows input records use.
namespace mouse {
inline constexpr std::uint32_t kLeftDown = 0x0002;
inline constexpr std::uint32_t kLeftUp = 0x0004;
inline constexpr std::uint32_t kRightDown = 0x0008;
inline constexpr std::uint32_t kRightUp = 0x0010;
inline constexpr std::uint32_t kMiddleDown = 0x0020;
inline constexpr std::uint32_t kMiddleUp = 0x0040;
inline constexpr std::uint32_t kWheel = 0x0800;
inline constexpr std::int32_t kWheelDelta = 120;  // wheel units of one notch
}  // namespace mouse

// The operating-system services the logic uses. A backend maps each call onto its OS and holds no system
// logic: it receives typed values (a flag set, a virtual-key code), never protocol bytes.
// All methods may be called from any thread; a backend serialises its own access to the OS.
class Platform {
 public:
  virtual ~Platform() = default;

  // Cursor in screen coordinates. Both return false when the OS refused; GetCursorPos then leaves p as is.
  virtual bool GetCursorPos(Point& p) = 0;
  virtual bool SetCursorPos(Point p) = 0;
  // Moves the cursor by (dx, dy) from where it is: SetCursorPos of the sum, which the OS clamps to the
  // screens as it clamps any cursor position. The default reads the cursor and sets it (from (0, 0) when the
  // read fails); a backend that can move the cursor relative to itself without reading it does so.
  virtual bool MoveCursorBy(int dx, int dy) {
    Point at;
    GetCursorPos(at);
    return SetCursorPos({AddClamped(at.x, dx), AddClamped(at.y, dy)});
  }
  // While the calling thread holds input, the backend may keep its relative moves queued instead of sending
  // each at once; releasing (false) sends them. Whatever else is injected sends what is queued before
  // itself, so nothing is reordered. FlushInput sends what is queued (any thread). A thread that reads many
  // moves in a row holds input while it does, so they go out together.
  virtual void HoldInput(bool hold) { (void)hold; }
  virtual void FlushInput() {}

  // Injects one mouse record: one mouse:: flag (or none) and, for kWheel, the signed wheel amount
  // (positive turns the wheel away from the user). Failures are not reported.
  virtual void SendMouseInput(std::uint32_t flags, std::int32_t mouseData) = 0;

  // Injects one keyboard record: a Windows virtual-key code (0xFFFF: a character the layout has no key for),
  // pressed or released. Failures are not reported.
  virtual void SendKeyInput(std::uint16_t virtualKey, bool keyUp) = 0;

  // Bracket the key records that type one Windows-1252 character of text, as opposed to raw keys. Needed
  // where Ctrl+Alt is not AltGr and a character without a key can still be typed (X11); the default does
  // nothing.
  virtual void BeginTypedCharacter(std::uint8_t c) { (void)c; }
  virtual void EndTypedCharacter() {}

  // The key that types the Windows-1252 character c on the active layout: the virtual-key code in the low
  // byte and the shift state in the high byte, or -1 when the layout has no key for it.
  virtual std::int16_t VkKeyScan(std::uint8_t c) = 0;

  // Title of the window in front, in the 8-bit code page; empty when there is none.
  virtual std::string ForegroundWindowTitle() = 0;

  // The active keyboard layout as eight hexadecimal digits (Windows layout identifier, e.g. "00000407").
  virtual std::string KeyboardLayoutName() = 0;

  // The user locale's country code (international dialling code: 1, 44, 49, ...).
  virtual int CountryCode() = 0;

  // The user locale's decimal separator ('.' or ',' ...).
  virtual char DecimalSeparator() = 0;

  // Size of the primary monitor.
  virtual Size PrimaryScreenSize() = 0;

  // Every monitor's rectangle in screen coordinates, the primary one first.
  virtual std::vector<Rect> Monitors() = 0;

  // Where screen coordinates start (the primary monitor's top-left corner) in the coordinates windows are
  // placed in, which count from the corner of the whole desktop. The default, (0, 0), is for systems where
  // the two are the same, as on Windows.
  virtual Point ScreenOrigin() { return {}; }

  // Copies the primary monitor into the bitmap at its own size, without the mouse cursor.
  // Throws std::runtime_error when the screen cannot be read.
  virtual void CaptureScreen(Bitmap24& out) = 0;

  // Asks the OS to switch the machine off at once (applications cannot veto it). True if it accepted.
  virtual bool PowerOff() = 0;

  // The machine's IPv4 addresses of its non-loopback interfaces, dotted, in the OS's order.
  virtual std::vector<std::string> LocalIPv4Addresses() = 0;
};

}  // namespace fernpad
