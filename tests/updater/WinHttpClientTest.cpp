// The WinHTTP client, alone and in the whole check, against update_server.py on the Linux side of wine
// (with_update_server.py starts it and names its site, ports and CA in the environment).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "../settings/TestSupport.h"
#include "updater/HttpClient.h"
#include "updater/Updater.h"

namespace fernpad::updater {
namespace {
namespace fs = std::filesystem;
using settings::testing::FolderListing;
using settings::testing::TempDir;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Url(const std::string& scheme, const char* portVariable, const std::string& path) {
  return scheme + "://127.0.0.1:" + Env(portVariable) + "/" + path;
}

// A loopback socket: listening (connections wait, unanswered) or closed again (a port nobody listens on).
class LoopbackSocket {
 public:
  explicit LoopbackSocket(bool listening) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (listening) {
      listen(socket_, 4);
    } else {
      closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }
  ~LoopbackSocket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    WSACleanup();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/updates.php"; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

class WinHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(site_.empty()) << "run through with_update_server.py"; }
  std::string Requests() const { return ReadText(log_); }

  const fs::path site_ = Env("FERNPAD_TEST_SITE");
  const fs::path log_ = Env("FERNPAD_TEST_LOG");
  TempDir dir_;
};

TEST_F(WinHttpTest, RequestsTheirLimitsAndTheirEnd) {
  const LoopbackSocket silent(true), closed(false);
  enum class End { Done, Failed, Cancelled };
  struct Case {
    const char* name;
    std::string url;
    bool download;
    End end;
    std::function<void(HttpClientOptions&)> adjust = {};
    bool cancelInProgress = false;
  } cases[] = {
      {"the version answer", Url("http", "FERNPAD_TEST_HTTP_PORT", "updates.php"), false, End::Done},
      {"a missing file", Url("http", "FERNPAD_TEST_HTTP_PORT", "nothing"), false, End::Failed},
      {"an answer above the limit", Url("http", "FERNPAD_TEST_HTTP_PORT", "big"), false, End::Failed},
      {"nobody listens", closed.Url(), false, End::Failed},
      {"a download", Url("http", "FERNPAD_TEST_HTTP_PORT", "big"), true, End::Done},
      {"a download cut short", Url("http", "FERNPAD_TEST_HTTP_PORT", "cut"), true, End::Failed},
      {"a download above its limit", Url("http", "FERNPAD_TEST_HTTP_PORT", "big"), true, End::Failed,
       [](HttpClientOptions& o) { o.maxDownloadBytes = 100 * 1024; }},
      {"Cancel pressed", Url("http", "FERNPAD_TEST_HTTP_PORT", "big"), true, End::Cancelled, {}, true},
      {"a silent server", silent.Url(), true, End::Failed,
       [](HttpClientOptions& o) { o.lowSpeedSeconds = 2; }},
      {"stopped", Url("http", "FERNPAD_TEST_HTTP_PORT", "big"), true, End::Cancelled,
       [](HttpClientOptions& o) { o.stop = [] { return true; }; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpClientOptions options;
    if (c.adjust) c.adjust(options);
    const auto client = MakeHttpClient({}, options);
    const fs::path file = dir_ / "download";
    std::vector<TransferProgress> progress;
    std::string body;
    End end = End::Done;
    try {
      if (c.download) {
        client->Download(c.url, file, [&](const TransferProgress& p) {
          progress.push_back(p);
          return !(c.cancelInProgress && p.received > 0);
        });
        body = ReadText(file);
      } else {
        body = client->Get(c.url);
      }
    } catch (const TransferCancelled&) {
      end = End::Cancelled;
    } catch (const HttpError& e) {
      end = End::Failed;
      EXPECT_NE(std::string(e.what()), "");
    }
    EXPECT_EQ(end, c.end);
    if (end == End::Done) {
      const std::string expected = ReadText(site_ / c.url.substr(c.url.rfind('/') + 1));
      EXPECT_EQ(body, expected);
      if (c.download) {
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back().received, static_cast<std::int64_t>(expected.size()));
        EXPECT_EQ(progress.back().total, static_cast<std::int64_t>(expected.size()));
      }
      std::error_code ignored;
      fs::remove(file, ignored);
    }
    EXPECT_EQ(FolderListing(dir_.Path()), std::vector<std::string>{});
  }
  // Every request asked for a fresh answer.
  std::istringstream requests(Requests());
  int seen = 0;
  for (std::string line; std::getline(requests, line);) {
    if (line.rfind("direct GET", 0) != 0) continue;
    ++seen;
    EXPECT_TRUE(line.ends_with(" cache-control=no-cache")) << line;
  }
  EXPECT_GE(seen, 6);
}

class RecordingUi : public UpdaterUi {
 public:
  void ShowBox(const BoxText&, Icon) override {}
  bool AskYesNo(const BoxText&) override { return true; }
  void DownloadStarted() override {}
  bool DownloadProgress(const TransferProgress&) override { return true; }
  void DownloadEnded() override {}
  void HandOver(const fs::path& installer) override { handedOver.push_back(installer); }
  std::vector<fs::path> handedOver;
};

// The whole check on Windows: the signed "Update.exe" verified with libgcrypt, HTTPS against the test's CA
// only, and the stored proxy with basic authentication.
TEST_F(WinHttpTest, TheCheckOverHttpsAndTheStoredProxy) {
  const fs::path installer = site_ / "FernpadServer" / "Update.exe";
  const std::string published = ReadText(installer);
  settings::UpdaterSettings proxy;
  proxy.proxyServer = "127.0.0.1";
  proxy.proxyPort = std::atoi(Env("FERNPAD_TEST_PROXY_PORT").c_str());
  proxy.proxyBasicAuthentication = true;
  proxy.proxyUsername = "fern";
  proxy.proxyPassword = "pad words";
  settings::UpdaterSettings wrongPassword = proxy;
  wrongPassword.proxyPassword = "pad";
  const std::string ca = Env("FERNPAD_TEST_CA");
  // By name: wine checks a certificate's DNS names only, not its IP addresses.
  const std::string https = "https://localhost:" + Env("FERNPAD_TEST_HTTPS_PORT") + "/";
  const std::string http = Url("http", "FERNPAD_TEST_HTTP_PORT", "");
  struct Case {
    const char* name;
    std::string baseUrl;
    std::string caFile;
    settings::UpdaterSettings proxy;
    CheckOutcome outcome;
    const char* proxyLog = nullptr;  // what the proxy saw, if anything
    std::string served = {};         // what the server has in place of the signed installer
  } cases[] = {
      {"http", http, "", {}, CheckOutcome::HandedOver},
      {"https with the test CA", https, ca, {}, CheckOutcome::HandedOver},
      {"https with the system CAs", https, "", {}, CheckOutcome::Failed},
      // Not here: HTTPS through the proxy. Wine's WinHTTP does not answer the proxy's 407 to its CONNECT
      // with the credentials (the Linux client's tests cover the tunnel).
      {"http through the proxy", http, "", proxy, CheckOutcome::HandedOver, "proxy GET "},
      {"wrong proxy password", http, "", wrongPassword, CheckOutcome::Failed, "proxy refused GET"},
      {"installer changed after signing", http, "", {}, CheckOutcome::Refused, nullptr, published + "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(installer, std::ios::binary) << (c.served.empty() ? published : c.served);
    const fs::path data = dir_ / c.name;
    fs::create_directories(data);
    UpdaterConfig config;
    config.countryCode = 1;
    config.installedVersion = "0.1.0.0";
    config.baseUrl = c.baseUrl;
    config.publicKeys = {Env("FERNPAD_TEST_PUBLIC_KEY")};
    config.dataFolder = data;
    config.proxy = c.proxy;
    config.makeClient = [&c](const settings::UpdaterSettings& stored) {
      HttpClientOptions options;
      options.caFile = c.caFile;
      return MakeHttpClient(stored, options);
    };
    RecordingUi ui;
    const std::size_t before = Requests().size();
    EXPECT_EQ(CheckForUpdate(config, ui, true), c.outcome);
    if (c.outcome == CheckOutcome::HandedOver) {
      EXPECT_EQ(ui.handedOver, std::vector<fs::path>{data / "Update.exe"});
      EXPECT_EQ(ReadText(data / "Update.exe"), published);
    } else {
      EXPECT_EQ(FolderListing(data), std::vector<std::string>{});
    }
    const std::string requests = Requests().substr(before);
    EXPECT_EQ(requests.find("proxy") != std::string::npos, c.proxyLog != nullptr) << requests;
    if (c.proxyLog) {
      EXPECT_NE(requests.find(c.proxyLog), std::string::npos) << requests;
    }
  }
  std::ofstream(installer, std::ios::binary) << published;
}

}  // namespace
}  // namespace fernpad::updater
