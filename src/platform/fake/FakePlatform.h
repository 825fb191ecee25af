#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fernpad {

// A platform for tests: records every injected record in order and answers from scripted values.
class FakePlatform : public Platform {
 public:
  struct Record {
    enum Kind { Mouse, Key } kind = Mouse;
    std::uint32_t flags = 0;     // mouse: MOUSEEVENTF_* flags
    std::int32_t mouseData = 0;  // mouse: wheel amount
    std::uint16_t vk = 0;        // key: virtual-key code
    bool keyUp = false;          // key: release
    friend bool operator==(const Record&, const Record&) = default;
  };
  static Record MouseRec(std::uint32_t flags, std::int32_t data = 0) {
    return {Record::Mouse, flags, data, 0, false};
  }
  static Record KeyDown(std::uint16_t vk) { return {Record::Key, 0, 0, vk, false}; }
  static Record KeyUp(std::uint16_t vk) { return {Record::Key, 0, 0, vk, true}; }

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
  Point ScreenOrigin() override;
  void CaptureScreen(Bitmap24& out) override;
  bool PowerOff() override;
  std::vector<std::string> LocalIPv4Addresses() override;

  // Scripting and inspection (thread-safe).
  std::vector<Record> Records() const;
  void ClearRecords();
  Point Cursor() const;
  void SetCursor(Point p);
  int SetCursorCalls() const;
  void SetCursorReadFails(bool fails);
  void SetScreen(Size size, std::vector<Rect> monitors = {});
  void SetScreenOrigin(Point origin);
  void SetScreenPicture(Bitmap24 picture);
  void SetCaptureFails(bool fails);
  void SetForegroundTitle(std::string title);
  void SetLayout(std::string name, int countryCode);
  void SetDecimalSeparator(char sep);
  // Keys of the layout: character -> VkKeyScan result; characters not set map to -1.
  void SetKeyScan(std::uint8_t c, std::int16_t result);
  void SetPowerOffResult(bool accepted);
  int PowerOffCalls() const;
  void SetAddresses(std::vector<std::string> addresses);

 private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;
  Point cursor_;
  int setCursorCalls_ = 0;
  bool cursorReadFails_ = false;
  Size screen_{1920, 1080};
  std::vector<Rect> monitors_;
  Point origin_;
  Bitmap24 picture_;
  bool captureFails_ = false;
  std::string title_;
  std::string layout_ = "00000409";
  int country_ = 1;
  char decimal_ = '.';
  std::map<std::uint8_t, std::int16_t> keyScan_;
  bool powerOffResult_ = true;
  int powerOffCalls_ = 0;
  std::vector<std::string> addresses_;
};

}  // namespace fernpad
