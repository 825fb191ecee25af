#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/Ui.h"
#include "discovery/Datagram.h"
#include "input/CommandHandler.h"
#include "platform/Platform.h"
#include "settings/LiveSettings.h"

namespace fernpad::discovery {

// What the commands need from the datagram endpoint.
struct DatagramLink {
  // Sends an answer to the sender's address on the answer port. Unset: nothing is answered.
  std::function<void(const std::string& peer, std::string_view answer)> answer;
};

// Runs the datagrams the handheld sends to the datagram port: discovery and ping answers, and the fast
// mouse, key and presenter-dot commands. The tap, drag, cursor and pointer state are the HTTP path's
// (InputState, under its one lock), so a press sent as a datagram and a release sent over HTTP make one tap.
//
// The caller hands datagrams over one at a time (the datagram endpoint's receiving thread does).
class DatagramCommands {
 public:
  // Of the services, checkAccess, sendKeyDown, sendKeyUp and typeText are used, as the HTTP path uses
  // them; checkAccess must not wait for the user (the datagrams of allowed senders go on meanwhile).
  DatagramCommands(Platform& platform, Ui& ui, settings::LiveSettings& settings, input::InputState& state,
                   input::CommandServices services, DatagramLink link)
      : platform_(platform),
        ui_(ui),
        settings_(settings),
        state_(state),
        services_(std::move(services)),
        link_(std::move(link)) {}

  // One datagram from peer (dotted IPv4). Dropped without a trace when the peer may not control the PC
  // (an unknown peer is asked about in the background and its datagram is dropped whatever the answer),
  // and when it does not decode (see DecodeDatagram) or a result does not fit into 32 bits.
  // Answers only codes 8 and 100. Exceptions come only from the link and the services.
  void IdUDPServer1UDPRead(const std::string& peer, std::span<const std::uint8_t> data);

  // Carries out one decoded datagram for an admitted peer.
  void Run(const std::string& peer, const Datagram& datagram);

  // The clock the tap logic reads; tests replace it.
  void SetClock(std::function<input::Clock::time_point()> now) { now_ = std::move(now); }

 private:
  void Key(const std::function<void(std::string_view)>& service, const std::string& text);

  Platform& platform_;
  Ui& ui_;
  settings::LiveSettings& settings_;
  input::InputState& state_;
  input::CommandServices services_;
  DatagramLink link_;
  std::function<input::Clock::time_point()> now_ = [] { return input::Clock::now(); };
};

}  // namespace fernpad::discovery
