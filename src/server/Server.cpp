#include "server/Server.h"

#include "core/Log.h"
#include "imaging/Snapshot.h"
#include "presenter/Presenter.h"
#include "settings/OptionsStore.h"
#include "settings/SettingsPaths.h"
#include "upload/ShownImage.h"
#include "web/WebAccess.h"
#include "web/WebMessages.h"

namespace fernpad {

Server::Server(Platform& platform, Ui& ui, settings::LiveSettings& settings, ServerOptions options)
    : platform_(platform),
      ui_(ui, platform),
      settings_(settings),
      options_(std::move(options)),
      input_(platform),
      access_(settings, ui_),
      devices_(
          settings,
          [this](const std::string& name) {
            const std::string suggested = settings::FolderBoxText(
                settings_.Read([](const settings::Options& o) { return o.DefaultFolder; }),
                settings::DefaultUploadFolder());
            return ui_.AskDeviceFolder(name, suggested).value_or(std::string());
          },
          [this] { ui_.UploadDevicesChanged(); }),
      files_(upload::MakeUploadFileSystem()) {}

Server::~Server() {
  Stop();
}

input::CommandServices Server::Services() {
  input::CommandServices services;
  services.checkAccess = [this](const std::string& peer) { return access_.CheckAccess(peer); };
  services.sendKeyDown = [this](std::string_view payload) {
    std::lock_guard lock(input_.lock);
    keyboard_->SendKeyDown(payload);
  };
  services.sendKeyUp = [this](std::string_view payload) {
    std::lock_guard lock(input_.lock);
    keyboard_->SendKeyUp(payload);
  };
  services.typeText = [this](std::string_view payload) { keyboard_->TypeText(payload, input_.lock); };
  services.snapshot = [this](int width, int height, int quality, bool smooth) {
    return MakeSnapshot(platform_, width, height, quality, smooth);
  };
  services.updatePointer = [this](const input::PointerState& state) { presenter::UpdatePointer(ui_, state); };
  return services;
}

void Server::ShowImage(upload::ContentReader& photo) {
  const auto path = upload::StoreShownImage(*files_, settings::ShownImageFolder(), photo);
  if (path) ui_.ShowImage(path->string());
}

void Server::ServeUpload(const std::string& peer, net::UploadConnection& connection) {
  upload::UploadServices services;
  services.showImage = [this](upload::ContentReader& photo) { ShowImage(photo); };
  services.closeImage = [this] { ui_.CloseImage(); };
  services.selectOrAddDevice = [this, &connection](const std::string& identifier, const std::string& name) {
    connection.WaitingForPerson();  // the new-device question may stay open for long
    devices_.SelectOrAddDevice(identifier, name);
  };
  services.destinationFolder = [this] { return devices_.Edit1(); };
  services.saveImage = [this](const std::string& folder, const upload::WireString& fileName,
                              upload::ContentReader& photo) {
    if (const auto path = upload::StoreReceivedFile(*files_, folder, fileName, photo))
      ui_.ShowPreview(path->string());
  };
  upload::UploadCommands commands(std::move(services));
  for (;;) {
    connection.WaitingForPerson();  // an unknown device raises the security question
    if (!access_.CheckAccess(peer)) {
      log::Verbose("upload ", peer, ": refused, closing the connection");
      return;
    }
    connection.BetweenCommands();
    commands.IdTCPServer1Execute(connection);
  }
}

void Server::Start() {
  countryCode_ = platform_.CountryCode();
  keyboardLayoutName_ = platform_.KeyboardLayoutName();
  keyboard_ = std::make_unique<Keyboard>(platform_, ui_, keyboardLayoutName_, countryCode_);
  commands_ = std::make_unique<input::CommandHandler>(platform_, ui_, settings_, input_, Services());

  net::UdpServerOptions udp;
  udp.address = options_.bindAddress;
  udp.port = options_.udpPort;
  udp.answerPort = options_.udpAnswerPort;
  input::CommandServices datagramServices = Services();
  datagramServices.checkAccess = [this](const std::string& peer) {
    return access_.CheckAccess(peer, access::Asking::InBackground);
  };
  datagrams_ = std::make_unique<discovery::DatagramCommands>(
      platform_, ui_, settings_, input_, std::move(datagramServices),
      discovery::DatagramLink{[this](const std::string& peer, std::string_view answer) {
        platform_.FlushInput();  // an answer tells the sender that its datagrams before it were carried out
        udp_->SendAnswer(peer, answer);
      }});
  // Moves read in a row go out to the display together.
  udp.runStarted = [this] { platform_.HoldInput(true); };
  udp.runEnded = [this] { platform_.HoldInput(false); };
  udp_ = std::make_unique<net::UdpServer>(
      udp, [this](const std::string& peer, std::span<const std::uint8_t> data) {
        datagrams_->IdUDPServer1UDPRead(peer, data);
      });
  udp_->Start();
  log::Verbose("listening for datagrams on UDP port ", udp_->Port());

  devices_.LoadOptions(settings::DefaultUploadFolder());
  net::UploadServerOptions upload;
  upload.address = options_.bindAddress;
  upload.port = options_.uploadPort;
  upload.stallTimeout = options_.uploadStallTimeout;
  upload.trusted = [this](const std::string& peer) { return access_.Allowed(peer); };
  upload_ = std::make_unique<net::UploadServer>(
      upload,
      [this](const std::string& peer, net::UploadConnection& connection) { ServeUpload(peer, connection); });
  upload_->Start();
  log::Verbose("listening for photos on TCP port ", upload_->Port());

  net::HttpServerOptions http;
  http.address = options_.bindAddress;
  http.port = options_.httpPort;
  http.trusted = [this](const std::string& peer) { return access_.Allowed(peer); };
  http_ = std::make_unique<net::HttpServer>(
      http, [this](const std::string& peer, const std::vector<std::string>& params) {
        const input::CommandReply reply = commands_->IdHTTPServer1CommandGet(peer, params);
        net::HttpReply answer;
        switch (reply.kind) {
          case input::CommandReply::Kind::Default:  // refused: the peer gets nothing more on this connection
            answer.close = true;
            break;
          case input::CommandReply::Kind::Text:
            answer = {net::HttpReply::Kind::Body, reply.body};
            break;
          case input::CommandReply::Kind::Jpeg:
            answer = {net::HttpReply::Kind::Body, reply.body, "image/jpeg"};
            break;
        }
        return answer;
      });
  http_->Start();
  log::Verbose("listening for commands on HTTP port ", http_->Port());
  // The other endpoints serve the handhelds all the same when the browser remote's port is taken.
  if (options_.webRemote) try {
      SetWebRemote(true);
    } catch (const std::system_error& e) {
      log::Verbose("browser remote: ", e.what());
      webStartError_ = e.what();
    }
}

void Server::SetWebRemote(bool on) {
  std::lock_guard lock(webMutex_);
  if (!on) {
    if (!web_) return;
    // A page's socket may be waiting for the security question, which the thread calling this (the GUI's)
    // answers: the connections are ended and their threads joined on a thread of its own.
    web_->Close();
    std::erase_if(webRetired_, [](const std::future<void>& f) {
      return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    webRetired_.push_back(std::async(std::launch::async, [web = std::move(web_)] { web->Stop(); }));
    return;
  }
  if (web_) return;
  if (!web::IsToken(options_.webToken)) options_.webToken = web::MakeToken();
  StartWebRemote();
}

// With webMutex_ held.
void Server::StartWebRemote() {
  web::WebServerOptions options;
  options.address = options_.bindAddress;
  options.port = options_.webPort;
  options.token = options_.webToken;
  options.trusted = [this](const std::string& peer) { return access_.Allowed(peer); };
  web::WebHandlers handlers;
  handlers.mayLoadPage = [this](const std::string& peer) {
    return access::ListedAs(settings_.Get(), peer) != access::Listed::Denied;
  };
  // Unlike a handheld's request, a page's socket is let in once the person has said yes: the page waits
  // for the answer rather than being refused and trying again.
  handlers.admit = [this](const std::string& peer) {
    return access_.CheckAccess(peer) || access_.Allowed(peer);
  };
  handlers.message = [this](const std::string& peer, std::string_view message) {
    return WebMessage(peer, message);
  };
  auto web = std::make_unique<web::WebServer>(std::move(options), std::move(handlers));
  web->Start();
  web_ = std::move(web);
  log::Verbose("browser remote on TCP port ", web_->Port());
}

web::WebReply Server::WebMessage(const std::string& peer, std::string_view message) {
  web::WebReply reply;
  for (const auto& params : web::MapWebMessage(message)) {
    const input::CommandReply answer = commands_->IdHTTPServer1CommandGet(peer, params);
    if (answer.kind == input::CommandReply::Kind::Default) {  // no longer allowed
      reply.close = true;
      break;
    }
    if (answer.kind == input::CommandReply::Kind::Jpeg) reply.binary = answer.body;
  }
  return reply;
}

void Server::Stop() {
  std::unique_ptr<web::WebServer> web;
  std::vector<std::future<void>> retired;
  {
    std::lock_guard lock(webMutex_);
    web = std::move(web_);
    retired.swap(webRetired_);
  }
  if (web) web->Stop();
  retired.clear();  // waits for them
  if (udp_) udp_->Stop();
  if (http_) http_->Stop();
  if (upload_) upload_->Stop();
  access_.Stop();
}

std::uint16_t Server::HttpPort() const {
  return http_ ? http_->Port() : 0;
}

std::uint16_t Server::UdpPort() const {
  return udp_ ? udp_->Port() : 0;
}

std::uint16_t Server::UploadPort() const {
  return upload_ ? upload_->Port() : 0;
}

std::uint16_t Server::WebPort() const {
  std::lock_guard lock(webMutex_);
  return web_ ? web_->Port() : 0;
}

std::string Server::WebToken() const {
  std::lock_guard lock(webMutex_);
  return web::IsToken(options_.webToken) ? options_.webToken : std::string();
}

std::string GetLocalAddresses(Platform& platform) {
  std::string joined;
  for (const auto& address : platform.LocalIPv4Addresses()) {
    if (!joined.empty()) joined += '\r';
    joined += address;
  }
  return joined;
}

}  // namespace fernpad
