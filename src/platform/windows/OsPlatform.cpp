#include "platform/OsPlatform.h"

#include <stdexcept>

#include "platform/windows/WindowsPlatform.h"

namespace fernpad {

std::unique_ptr<Platform> MakeOsPlatform() {
  return std::make_unique<WindowsPlatform>();
}

std::unique_ptr<Platform> MakeOsPlatform(const std::string& backend, std::string& description) {
  if (!backend.empty())
    throw std::runtime_error("--backend " + backend + " exists on Linux only; Windows has one backend");
  description = "Input and screen: the Windows backend (SendInput, BitBlt)";
  return MakeOsPlatform();
}

int OsCountryCode() {
  return WindowsPlatform().CountryCode();
}

}  // namespace fernpad
