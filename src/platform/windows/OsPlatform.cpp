#include "platform/OsPlatform.h"

#include "platform/windows/WindowsPlatform.h"

namespace fernpad {

std::unique_ptr<Platform> MakeOsPlatform() {
  return std::make_unique<WindowsPlatform>();
}

int OsCountryCode() {
  return WindowsPlatform().CountryCode();
}

}  // namespace fernpad
