#include "platform/fake/FakePlatform.h"

#include <stdexcept>

namespace fernpad {

bool FakePlatform::GetCursorPos(Point& p) {
  std::lock_guard lock(mutex_);
  if (cursorReadFails_) return false;
  p = cursor_;
  return true;
}

bool FakePlatform::SetCursorPos(Point p) {
  std::lock_guard lock(mutex_);
  cursor_ = p;
  ++setCursorCalls_;
  return true;
}

void FakePlatform::SendMouseInput(std::uint32_t flags, std::int32_t mouseData) {
  std::lock_guard lock(mutex_);
  records_.push_back(MouseRec(flags, mouseData));
}

void FakePlatform::SendKeyInput(std::uint16_t virtualKey, bool keyUp) {
  std::lock_guard lock(mutex_);
  records_.push_back(keyUp ? KeyUp(virtualKey) : KeyDown(virtualKey));
}

std::int16_t FakePlatform::VkKeyScan(std::uint8_t c) {
  std::lock_guard lock(mutex_);
  auto it = keyScan_.find(c);
  return it == keyScan_.end() ? std::int16_t{-1} : it->second;
}

std::string FakePlatform::ForegroundWindowTitle() {
  std::lock_guard lock(mutex_);
  return title_;
}

std::string FakePlatform::KeyboardLayoutName() {
  std::lock_guard lock(mutex_);
  return layout_;
}

int FakePlatform::CountryCode() {
  std::lock_guard lock(mutex_);
  return country_;
}

char FakePlatform::DecimalSeparator() {
  std::lock_guard lock(mutex_);
  return decimal_;
}

Size FakePlatform::PrimaryScreenSize() {
  std::lock_guard lock(mutex_);
  return screen_;
}

std::vector<Rect> FakePlatform::Monitors() {
  std::lock_guard lock(mutex_);
  if (monitors_.empty()) return {Rect{0, 0, screen_.width, screen_.height}};
  return monitors_;
}

Point FakePlatform::ScreenOrigin() {
  std::lock_guard lock(mutex_);
  return origin_;
}

void FakePlatform::CaptureScreen(Bitmap24& out) {
  std::lock_guard lock(mutex_);
  if (captureFails_) throw std::runtime_error("the screen cannot be read");
  if (picture_.Width() == screen_.width && picture_.Height() == screen_.height) {
    out = picture_;
  } else {
    out = Bitmap24(screen_.width, screen_.height);
  }
}

bool FakePlatform::PowerOff() {
  std::lock_guard lock(mutex_);
  ++powerOffCalls_;
  return powerOffResult_;
}

std::vector<std::string> FakePlatform::LocalIPv4Addresses() {
  std::lock_guard lock(mutex_);
  return addresses_;
}

std::vector<FakePlatform::Record> FakePlatform::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

void FakePlatform::ClearRecords() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

Point FakePlatform::Cursor() const {
  std::lock_guard lock(mutex_);
  return cursor_;
}

void FakePlatform::SetCursor(Point p) {
  std::lock_guard lock(mutex_);
  cursor_ = p;
}

int FakePlatform::SetCursorCalls() const {
  std::lock_guard lock(mutex_);
  return setCursorCalls_;
}

void FakePlatform::SetCursorReadFails(bool fails) {
  std::lock_guard lock(mutex_);
  cursorReadFails_ = fails;
}

void FakePlatform::SetScreen(Size size, std::vector<Rect> monitors) {
  std::lock_guard lock(mutex_);
  screen_ = size;
  monitors_ = std::move(monitors);
}

void FakePlatform::SetScreenOrigin(Point origin) {
  std::lock_guard lock(mutex_);
  origin_ = origin;
}

void FakePlatform::SetScreenPicture(Bitmap24 picture) {
  std::lock_guard lock(mutex_);
  screen_ = {picture.Width(), picture.Height()};
  picture_ = std::move(picture);
}

void FakePlatform::SetCaptureFails(bool fails) {
  std::lock_guard lock(mutex_);
  captureFails_ = fails;
}

void FakePlatform::SetForegroundTitle(std::string title) {
  std::lock_guard lock(mutex_);
  title_ = std::move(title);
}

void FakePlatform::SetLayout(std::string name, int countryCode) {
  std::lock_guard lock(mutex_);
  layout_ = std::move(name);
  country_ = countryCode;
}

void FakePlatform::SetDecimalSeparator(char sep) {
  std::lock_guard lock(mutex_);
  decimal_ = sep;
}

void FakePlatform::SetKeyScan(std::uint8_t c, std::int16_t result) {
  std::lock_guard lock(mutex_);
  keyScan_[c] = result;
}

void FakePlatform::SetPowerOffResult(bool accepted) {
  std::lock_guard lock(mutex_);
  powerOffResult_ = accepted;
}

int FakePlatform::PowerOffCalls() const {
  std::lock_guard lock(mutex_);
  return powerOffCalls_;
}

void FakePlatform::SetAddresses(std::vector<std::string> addresses) {
  std::lock_guard lock(mutex_);
  addresses_ = std::move(addresses);
}

}  // namespace fernpad
