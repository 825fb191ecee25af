#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One remote-desktop session of the desktop portal (org.freedesktop.portal.RemoteDesktop with a ScreenCast
// source) on the session bus: the desktop asks the user once when it starts; then it takes input events and
// hands out the PipeWire connection that carries the monitor's frames. Not thread-safe: the caller
// serialises every call.
namespace fernpad::portal {

struct Stream {
  std::uint32_t node = 0;                   // the PipeWire node of the monitor's frames
  int x = 0, y = 0, width = 0, height = 0;  // where the monitor lies, in the desktop's logical pixels
};

class PortalSession {
 public:
  // Device bits of the grant.
  static constexpr std::uint32_t kKeyboard = 1, kPointer = 2;

  // Creates the session, asks for the keyboard, the pointer and one monitor, and starts it; the desktop
  // shows its dialog meanwhile, and the call waits up to answerTimeout for the user's answer. Throws
  // std::runtime_error (saying why) when there is no session bus or no portal, when the user refuses, or
  // when no answer comes in time.
  explicit PortalSession(std::chrono::milliseconds answerTimeout);
  ~PortalSession();  // closes the session (the desktop's sharing indicator goes away)
  PortalSession(const PortalSession&) = delete;
  PortalSession& operator=(const PortalSession&) = delete;

  // What the user allowed: kKeyboard | kPointer bits (none when the dialog's "Allow remote interaction"
  // stayed off), and the monitor's stream.
  std::uint32_t Devices() const { return devices_; }
  const Stream& Monitor() const { return monitor_; }

  // A new connection to the PipeWire remote that carries the session's streams (the caller owns the
  // descriptor); -1 when the portal refused.
  int OpenPipeWireRemote();

  // Whether the desktop has ended the session (the user stopped the sharing); input then goes nowhere.
  bool Ended();

  // Input events. Each returns false when the portal refused it (the session ended, or the device was not
  // allowed); the reason is in LastError().
  bool PointerMotion(double dx, double dy);
  bool PointerMotionAbsolute(double x, double y);  // in the monitor's stream
  bool PointerButton(int button, bool pressed);
  bool PointerAxisDiscrete(std::uint32_t axis, int steps);  // axis 0: vertical, steps > 0 towards the user
  bool KeyboardKeycode(int evdevCode, bool pressed);
  bool KeyboardKeysym(std::uint32_t keysym, bool pressed);
  const std::string& LastError() const { return lastError_; }

 private:
  struct Bus;
  std::unique_ptr<Bus> bus_;
  std::string session_;
  std::uint32_t devices_ = 0;
  Stream monitor_;
  std::string lastError_;
  bool ended_ = false;

  template <class... Args>
  bool Notify(const char* member, const char* types, Args... args);
};

}  // namespace fernpad::portal
