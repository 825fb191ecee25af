#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "access/AccessControl.h"
#include "core/Ui.h"
#include "discovery/DatagramCommands.h"
#include "input/CommandHandler.h"
#include "input/Keyboard.h"
#include "net/HttpServer.h"
#include "net/UdpServer.h"
#include "net/UploadServer.h"
#include "platform/Platform.h"
#include "server/DesktopUi.h"
#include "settings/LiveSettings.h"
#include "upload/Devices.h"
#include "upload/ReceivedFiles.h"
#include "web/WebServer.h"

namespace fernpad {

struct ServerOptions {
  std::string bindAddress = "0.0.0.0";
  std::uint16_t httpPort = 12769;       // 0: any free port (tests)
  std::uint16_t udpPort = 12770;        // discovery and datagram commands; 0: any free port (tests)
  std::uint16_t udpAnswerPort = 12771;  // where datagram answers go on the sender's address
  std::uint16_t uploadPort = 12772;     // the photo stream; 0: any free port (tests)
  // An upload connection that sends nothing for this long in the middle of a command is closed.
  std::chrono::milliseconds uploadStallTimeout = std::chrono::seconds(30);
  // The browser remote: its page and socket on webPort (0: any free port), off unless webRemote. webToken
  // is the secret of its address; empty: a new random one.
  bool webRemote = false;
  std::uint16_t webPort = 12773;
  std::string webToken;
};

// The live state of a running server and its network endpoints, shared by both front ends. The front end
// owns the platform, the Ui and the settings; the Server uses them until it is destroyed.
class Server {
 public:
  Server(Platform& platform, Ui& ui, settings::LiveSettings& settings, ServerOptions options = {});
  ~Server();

  // Reads the country code and keyboard layout name (once: later layout switches do not change the typing
  // rules), shows the default upload folder, then starts the datagram, upload and HTTP endpoints. Throws
  // std::system_error when a port cannot be bound.
  void Start();
  void Stop();

  std::uint16_t HttpPort() const;
  std::uint16_t UdpPort() const;
  std::uint16_t UploadPort() const;
  // Switches the browser remote on or off while the server runs (the "Browser remote" box); its token stays
  // the same for the whole run. Throws std::system_error when its port cannot be bound (it stays off).
  // Switching off returns at once: the port is closed, the open sockets end in the background.
  void SetWebRemote(bool on);
  // The browser remote's port (0 while it is off) and the token of this run ("" until it was first on).
  std::uint16_t WebPort() const;
  std::string WebToken() const;
  // Why the browser remote did not start with the server ("" when it did or was not to).
  const std::string& WebStartError() const { return webStartError_; }
  upload::UploadDevices& Devices() { return devices_; }
  int CountryCode() const { return countryCode_; }
  const std::string& KeyboardLayoutName() const { return keyboardLayoutName_; }
  input::InputState& Input() { return input_; }
  access::AccessControl& Access() { return access_; }

 private:
  input::CommandServices Services();
  // Serves one upload connection: each command after the access check, until the peer is refused or the
  // connection ends.
  void ServeUpload(const std::string& peer, net::UploadConnection& connection);
  // ShowImage: stores the photo as "temp.jpg", upright, and shows it.
  void ShowImage(upload::ContentReader& photo);
  void StartWebRemote();
  // One message of the browser remote: its requests through the command handler, in order.
  web::WebReply WebMessage(const std::string& peer, std::string_view message);

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
  upload::UploadDevices devices_;
  std::unique_ptr<upload::UploadFileSystem> files_;
  std::unique_ptr<net::UploadServer> upload_;
  mutable std::mutex webMutex_;  // web_ is switched on the GUI thread and read anywhere
  std::unique_ptr<web::WebServer> web_;
  std::string webStartError_;
  std::vector<std::future<void>> webRetired_;  // each ends the connections of an endpoint switched off
};

// The machine's IPv4 addresses for the address line, joined by a carriage return.
std::string GetLocalAddresses(Platform& platform);

}  // namespace fernpad
