#include "input/CommandHandler.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "core/Log.h"
#include "input/Numbers.h"

namespace fernpad::input {
const std::string& Param(const std::vector<std::string>& params, std::size_t position) {
  if (position == 0 || position > params.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(position - 1) + ")");
  return params[position - 1];
}

Point CommandHandler::ScreenFraction(const std::vector<std::string>& params) {
  const char sep = decimalSeparator_;
  const long double fx = ParseNumber(Param(params, 1), sep);
  const long double fy = ParseNumber(Param(params, 2), sep);
  const Size screen = platform_.PrimaryScreenSize();
  return {Nearest(screen.width * fx), Nearest(screen.height * fy)};
}

CommandReply CommandHandler::IdHTTPServer1CommandGet(const std::string& peer,
                                                     const std::vector<std::string>& params) {
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

  // Numbers are decoded before the input lock is taken: that needs no shared state, so the lock is held only
  // for the command's effects. The cursor is read only by the commands that need its position (a tap is
  // where the cursor is): putting it back where it was read changes nothing, so the others leave it alone
  // and cost the display server no round trip.
  auto run = [&](auto&& effect) {
    std::lock_guard lock(state_.lock);
    effect();
    return CommandReply{CommandReply::Kind::Text, " "};
  };
  auto atCursor = [&](auto&& effect) {
    return run([&] {
      Point at;
      state_.cursor.GetPos(at);
      effect(at);
    });
  };
  const char sep = decimalSeparator_;

  if (command == "a=m") {
    const auto dx = static_cast<float>(ParseNumber(Param(params, 1), sep));
    const auto dy = static_cast<float>(ParseNumber(Param(params, 2), sep));
    const Delta d = AccelerateDelta(dx, dy, settings_.MouseAcceleration());
    const int mx = Nearest(d.dx);
    const int my = Nearest(d.dy);
    return run([&] { state_.cursor.MoveBy(mx, my); });
  }
  if (command == "a=d") return atCursor([&](Point at) { state_.taps.TouchDown(at, kLeftButton, now_()); });
  if (command == "a=u") return atCursor([&](Point at) { state_.taps.TouchUp(at, kLeftButton, now_()); });
  if (command == "a=mabs" || command == "a=dabs") {
    const Point pos = ScreenFraction(params);
    return run([&] {
      if (command == "a=dabs") state_.pointer.PointerTouches = 1;
      state_.pointer.PointerPos = pos;
      if (services_.updatePointer) services_.updatePointer(state_.pointer);
      ui_.BringMainWindowToFront();
    });
  }
  if (command == "a=uabs") {
    return run([&] {
      state_.pointer.PointerTouches = 0;
      if (services_.updatePointer) services_.updatePointer(state_.pointer);
    });
  }
  if (command == "a=a") {
    const int x = Nearest(ParseNumber(Param(params, 1), sep));
    const int y = Nearest(ParseNumber(Param(params, 2), sep));
    const Size screen = platform_.PrimaryScreenSize();
    return run([&] {
      state_.cursor.SetPos({AddClamped(x, screen.width / 2), AddClamped(y, screen.height / 2)});
    });
  }
  struct ButtonCommand {
    std::string_view literal;
    std::uint32_t first;
    std::uint32_t second;  // 0: none
  };
  static constexpr ButtonCommand kButtons[] = {
      {"a=mbl", mouse::kLeftDown, mouse::kLeftUp},
      {"a=mbld", mouse::kLeftDown, 0},
      {"a=mblu", mouse::kLeftUp, 0},
      {"a=mbm", mouse::kMiddleDown, mouse::kMiddleUp},
      {"a=mbmd", mouse::kMiddleDown, 0},
      {"a=mbmu", mouse::kMiddleUp, 0},
      {"a=mbr", mouse::kRightDown, mouse::kRightUp},
      {"a=mbrd", mouse::kRightDown, 0},
      {"a=mbru", mouse::kRightUp, 0},
  };
  for (const auto& b : kButtons) {
    if (command != b.literal) continue;
    return run([&] {
      SendMouseFlags(platform_, b.first);
      if (b.second) SendMouseFlags(platform_, b.second);
    });
  }
  if (command == "a=scrollm") {
    const int notches = Nearest(ParseNumber(Param(params, 2), sep));
    if (notches > 1000000 || notches < -1000000) throw std::range_error("value out of range");
    return run([&] { SendMouseFlags(platform_, mouse::kWheel, -mouse::kWheelDelta * notches); });
  }
  using KeyService = std::function<void(std::string_view)> CommandServices::*;
  static constexpr std::pair<std::string_view, KeyService> kKeys[] = {
      {"a=k", &CommandServices::typeText},
      {"a=vkd", &CommandServices::sendKeyDown},
      {"a=vku", &CommandServices::sendKeyUp},
  };
  for (const auto& key : kKeys) {
    if (command != key.first) continue;
    const std::string& payload = Param(params, 4);
    const auto& service = services_.*key.second;
    // The services take the input lock themselves (text, one character at a time).
    if (service) service(payload);
    return CommandReply{CommandReply::Kind::Text, " "};
  }
  if (command == "a=winoff") {
    return run([&] {
      const bool accepted = platform_.PowerOff();
      log::Verbose("power-off ", accepted ? "accepted" : "refused");
    });
  }
  // Any other command: nothing happens, the cursor stays where it is.
  return CommandReply{CommandReply::Kind::Text, " "};
}

}  // namespace fernpad::input
