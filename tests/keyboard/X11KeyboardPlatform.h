#pragma once

#include "input/Keyboard.h"
#include "platform/fake/FakePlatform.h"
#include "platform/linux/X11Keyboard.h"

namespace fernpad::test {

// The fake platform with its keyboard methods forwarded to a real X11Keyboard, the way the X11 platform
// forwards them; the fake still records every key record.
class X11KeyboardPlatform : public FakePlatform {
 public:
  explicit X11KeyboardPlatform(X11Keyboard& keyboard) : keyboard_(keyboard) {}
  void SendKeyInput(std::uint16_t vk, bool keyUp) override {
    FakePlatform::SendKeyInput(vk, keyUp);
    keyboard_.SendKey(vk, keyUp);
  }
  std::int16_t VkKeyScan(std::uint8_t c) override { return keyboard_.VkKeyScan(c); }
  std::string ForegroundWindowTitle() override { return keyboard_.ForegroundWindowTitle(); }
  std::string KeyboardLayoutName() override { return keyboard_.LayoutName(); }
  void BeginTypedCharacter(std::uint8_t c) override { keyboard_.BeginTypedCharacter(c); }
  void EndTypedCharacter() override { keyboard_.EndTypedCharacter(); }

 private:
  X11Keyboard& keyboard_;
};

}  // namespace fernpad::test
