#include "discovery/DatagramCommands.h"

#include <algorithm>
#include <limits>

#include "access/AccessControl.h"
#include "core/Log.h"
#include "discovery/Motion.h"
#include "presenter/Presenter.h"

namespace fernpad::discovery {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

void DatagramCommands::IdUDPServer1UDPRead(const std::string& peer, std::span<const std::uint8_t> data) {
  // The check never waits for the user here: a question about an unknown sender is asked in the
  // background, and the allowed senders' datagrams (a key release above all) go on being served meanwhile.
  if (services_.checkAccess && !services_.checkAccess(peer)) return;
  if (log::Verbose()) {
    log::Verbose("udp ", peer, ": ",
                 log::Printable(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())));
  }
  const auto datagram = DecodeDatagram(data);
  if (datagram) Run(peer, *datagram);
}

void DatagramCommands::Key(const std::function<void(std::string_view)>& service, const std::string& text) {
  if (!service) return;
  // Keys take the same form as the HTTP path's fourth parameter; the service takes the input lock.
  service("v=" + text);
}

void DatagramCommands::Run(const std::string& peer, const Datagram& datagram) {
  // Everything that may fail is worked out before the input lock is taken; a value that does not fit drops
  // the datagram before anything has happened.
  auto tap = [this](input::ButtonFlags button, bool down) {
    std::lock_guard lock(state_.lock);
    Point at;
    state_.cursor.GetPos(at);
    if (down) {
      state_.taps.TouchDown(at, button, now_());
    } else {
      state_.taps.TouchUp(at, button, now_());
    }
  };
  auto moveBy = [this](const std::optional<Offset>& offset) {
    if (!offset) return;
    std::lock_guard lock(state_.lock);
    state_.cursor.MoveBy(offset->dx, offset->dy);
  };
  auto mouseFlags = [this](std::uint32_t flags, std::int32_t mouseData = 0) {
    std::lock_guard lock(state_.lock);
    input::SendMouseFlags(platform_, flags, mouseData);
  };

  std::visit(
      Overloaded{
          [&](const Press& c) { tap(c.button, true); },
          [&](const Release& c) { tap(c.button, false); },
          [&](const Move& c) { moveBy(MoveOffset(c.dx, c.dy, settings_.MouseAcceleration())); },
          [&](const Joystick& c) { moveBy(JoystickOffset(c.jx, c.jy, settings_.MouseAcceleration())); },
          [&](const ButtonDown& c) { mouseFlags(c.button.down); },
          [&](const ButtonUp& c) { mouseFlags(c.button.up); },
          [&](const Wheel& c) {
            if (const auto amount = WheelAmount(c.notches)) mouseFlags(mouse::kWheel, *amount);
          },
          [&](const PlaceOverlay& c) {
            const Size screen = platform_.PrimaryScreenSize();
            if (!OverlayCorner(screen, c.fx, c.fy)) return;
            // The dot moves without the pointer state changing; the lock keeps it in order with the
            // HTTP path's overlay updates.
            std::lock_guard lock(state_.lock);
            presenter::PlaceOverlayDirect(ui_, screen, c.fx, c.fy);
          },
          [&](const KeyDown& c) { Key(services_.sendKeyDown, c.text); },
          [&](const KeyUp& c) { Key(services_.sendKeyUp, c.text); },
          [&](const TypeText& c) { Key(services_.typeText, c.text); },
          [&](const Ping&) {
            if (link_.answer) link_.answer(peer, kPingAnswer);
          },
          [&](const Discover&) {
            if (link_.answer) link_.answer(peer, kDiscoveryAnswer);
          },
      },
      datagram);
}

}  // namespace fernpad::discovery
