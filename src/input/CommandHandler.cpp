#include "input/CommandHandler.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "core/Log.h"
#include "input/Numbers.h"

namespace fernpad::input {
namespace {

// Cursor arithmetic saturates instead of wrapping: the OS clamps the cursor to the screens anyway.
int AddClamped(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  return static_cast<int>(
      std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

const std::string& Param(const std::vector<std::string>& params, std::size_t position) {
  if (position == 0 || position > params.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(position - 1) + ")");
  return params[position - 1];
}

Point CommandHandler::ScreenFraction(const std::vector<std::string>& params) {
  const char sep = platform_.DecimalSeparator();
  const long double fx = ParseNumber(Param(params, 1), sep);
  const long double fy = ParseNumber(Param(params, 2), sep);
  const Size screen = platform_.PrimaryScreenSize();
  return {Nearest(screen.width * fx), Nearest(screen.height * fy)};
}

CommandReply CommandHandler::IdHTTPServer1CommandGet(const std::string& peer,
                                                     const std::vector<std::string>& params) {
  if (services_.promptOpen && services_.promptOpen()) return {};
  if (services_.checkAccess && !services_.checkAccess(peer)) return {};

  const std::string& command = Param(params, 3);
  log::Verbose("http ", peer, ": ", command);

  // The snapshots touch no shared state and leave the cursor alone.
  if (command == "a=ss" || command == "a=ssPad") {
    if (!services_.snapshot) throw std::runtime_error("screen snapshots are not available");
    const bool pad = command == "a=ssPad";
    return {CommandReply::Kind::Jpeg,
            services_.snapshot(pad ? 1024 : 400, pad ? 768 : 300, pad ? 90 : 80, settings_.SmoothImage())};
  }

  // The message box waits for a person: the input lock is not held meanwhile.
  if (command == "a=chat") {
    const std::string& payload = Param(params, 4);
    Point at;
    {
      std::lock_guard lock(state_.lock);
      state_.cursor.GetPos(at);
    }
    ui_.ShowMessage(payload.size() > 2 ? payload.substr(2, 1000) : std::string());
    std::lock_guard lock(state_.lock);
    state_.cursor.SetPos(at);
    return {CommandReply::Kind::Text, " "};
  }

  std::lock_guard lock(state_.lock);
  Point at;
  state_.cursor.GetPos(at);
  const char sep = platform_.DecimalSeparator();

  if (command == "a=m") {
    const auto dx = static_cast<float>(ParseNumber(Param(params, 1), sep));
    const auto dy = static_cast<float>(ParseNumber(Param(params, 2), sep));
    const Delta d = AccelerateDelta(dx, dy, settings_.MouseAcceleration());
    const int mx = Nearest(d.dx);
    const int my = Nearest(d.dy);
    at = {AddClamped(at.x, mx), AddClamped(at.y, my)};
  } else if (command == "a=d") {
    state_.taps.TouchDown(at, kLeftButton, now_());
  } else if (command == "a=u") {
    state_.taps.TouchUp(at, kLeftButton, now_());
  } else if (command == "a=mabs" || command == "a=dabs") {
    const Point pos = ScreenFraction(params);
    if (command == "a=dabs") state_.pointer.PointerTouches = 1;
    state_.pointer.PointerPos = pos;
    if (services_.updatePointer) services_.updatePointer(state_.pointer);
    ui_.BringMainWindowToFront();
  } else if (command == "a=uabs") {
    state_.pointer.PointerTouches = 0;
    if (services_.updatePointer) services_.updatePointer(state_.pointer);
  } else if (command == "a=a") {
    const int x = Nearest(ParseNumber(Param(params, 1), sep));
    const int y = Nearest(ParseNumber(Param(params, 2), sep));
    const Size screen = platform_.PrimaryScreenSize();
    at = {AddClamped(x, screen.width / 2), AddClamped(y, screen.height / 2)};
  } else if (command == "a=mbl") {
    SendMouseFlags(platform_, mouse::kLeftDown);
    SendMouseFlags(platform_, mouse::kLeftUp);
  } else if (command == "a=mbld") {
    SendMouseFlags(platform_, mouse::kLeftDown);
  } else if (command == "a=mblu") {
    SendMouseFlags(platform_, mouse::kLeftUp);
  } else if (command == "a=mbm") {
    SendMouseFlags(platform_, mouse::kMiddleDown);
    SendMouseFlags(platform_, mouse::kMiddleUp);
  } else if (command == "a=mbmd") {
    SendMouseFlags(platform_, mouse::kMiddleDown);
  } else if (command == "a=mbmu") {
    SendMouseFlags(platform_, mouse::kMiddleUp);
  } else if (command == "a=mbr") {
    SendMouseFlags(platform_, mouse::kRightDown);
    SendMouseFlags(platform_, mouse::kRightUp);
  } else if (command == "a=mbrd") {
    SendMouseFlags(platform_, mouse::kRightDown);
  } else if (command == "a=mbru") {
    SendMouseFlags(platform_, mouse::kRightUp);
  } else if (command == "a=scrollm") {
    const int notches = Nearest(ParseNumber(Param(params, 2), sep));
    if (notches > 1000000 || notches < -1000000) throw std::range_error("value out of range");
    SendMouseFlags(platform_, mouse::kWheel, -mouse::kWheelDelta * notches);
  } else if (command == "a=k") {
    const std::string& payload = Param(params, 4);
    if (services_.typeText) services_.typeText(payload);
  } else if (command == "a=vkd") {
    const std::string& payload = Param(params, 4);
    if (services_.sendKeyDown) services_.sendKeyDown(payload);
  } else if (command == "a=vku") {
    const std::string& payload = Param(params, 4);
    if (services_.sendKeyUp) services_.sendKeyUp(payload);
  } else if (command == "a=winoff") {
    const bool accepted = platform_.PowerOff();
    log::Verbose("power-off ", accepted ? "accepted" : "refused");
  }

  state_.cursor.SetPos(at);
  return {CommandReply::Kind::Text, " "};
}

}  // namespace fernpad::input
