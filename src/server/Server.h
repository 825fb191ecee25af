#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "access/AccessControl.h"
#include "core/Ui.h"
#include "discovery/DatagramCommands.h"
#include "input/CommandHandler.h"
#include "input/Keyboard.h"
#include "net/HttpServer.h"
#include "net/UdpServer.h"
#include "platform/Platform.h"
#include "server/DesktopUi.h"
#include "settings/LiveSettings.h"

namespace fernpad {

struct ServerOptions {
  std::string bindAddress = "0.0.0.0";
  std::uint16_t httpPort = 12769;       // 0: any free port (tests)
  std::uint16_t udpPort = 12770;        // discovery and datagram commands; 0: any free port (tests)
  std::uint16_t udpAnswerPort = 12771;  // where datagram answers go on the sender's address
};

// The live state of a running server and its network endpoints, shared by both front ends. The front end
// owns the platform, the Ui and the settings; the Server uses them until it is destroyed.
class Server {
 public:
  Server(Platform& platform, Ui& ui, settings::LiveSettings& settings, ServerOptions options = {});
  ~Server();

  // Reads the country code and keyboard layout name (once: later layout switches do not change the typing
  // rules), then starts the datagram and HTTP endpoints. Throws
  // std::system_error when a port cannot be bound.
  void Start();
  void Stop();

  std::uint16_t HttpPort() const;
  std::uint16_t UdpPort() const;
  int CountryCode() const { return countryCode_; }
  const std::string& KeyboardLayoutName() const { return keyboardLayoutName_; }
  input::InputState& Input() { return input_; }
  access::AccessControl& Access() { return access_; }

 private:
  input::CommandServices Services();

  Platform& platform_;
  DesktopUi ui_;  // the front end's, placing the dot in desktop coordinates
  settings::LiveSettings& settings_;
  ServerOptions options_;
  int countryCode_ = 49;  // until read
  std::string keyboardLayoutName_;
  input::InputState input_;
  access::AccessControl access_;
  std::unique_ptr<Keyboard> keyboard_;
  std::unique_ptr<input::CommandHandler> commands_;
  std::unique_ptr<net::HttpServer> http_;
  std::unique_ptr<discovery::DatagramCommands> datagrams_;
  std::unique_ptr<net::UdpServer> udp_;
};

// The machine's IPv4 addresses for the address line, joined by a carriage return.
std::string GetLocalAddresses(Platform& platform);

}  // namespace fernpad
