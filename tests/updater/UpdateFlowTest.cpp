// The whole check against update_server.py on loopback: the offer, the signed download, the hand-over, and
// every way a download must end without a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "../settings/TestSupport.h"
#include "UpdaterFixtures.h"
#include "settings/OrnivoFile.h"
#include "updater/HttpClient.h"
#include "updater/Reasons.h"
#include "updater/Updater.h"

namespace fernpad::updater {
namespace {
namespace fs = std::filesystem;
using settings::testing::FolderListing;
using settings::testing::ScopedEnv;
using settings::testing::TempDir;
using testing::ReadText;
using testing::UpdateServer;
using testing::WriteText;

constexpr int kCountry = 1;

class RecordingUi : public UpdaterUi {
 public:
  struct Box {
    BoxText text;
    Icon icon;
  };
  void ShowBox(const BoxText& box, Icon icon) override { boxes.push_back({box, icon}); }
  bool AskYesNo(const BoxText& box) override {
    offers.push_back(box);
    return accept;
  }
  void DownloadStarted() override { ++started; }
  bool DownloadProgress(const TransferProgress& p) override {
    progress.push_back(p);
    return !(cancel && p.received > 0);
  }
  void DownloadEnded() override { ++ended; }
  void HandOver(const fs::path& installer) override { handedOver.push_back(installer); }

  bool accept = true;
  bool cancel = false;  // press Cancel once bytes came in
  std::vector<Box> boxes;
  std::vector<BoxText> offers;
  std::vector<TransferProgress> progress;
  std::vector<fs::path> handedOver;
  int started = 0;
  int ended = 0;
};

class UpdateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(data_);
    std::string bytes(300 * 1024, '\0');
    std::mt19937 random(11);
    for (auto& b : bytes) b = static_cast<char>(random());
    payload_ = bytes;
    key_ = testing::MakeKeyPair(dir_.Path(), "release");
    Publish("0.2.0.0\r\n", payload_, "FernpadServer 0.2.0.0");
  }

  // What the server offers: the version answer, the installer and its signature.
  void Publish(const std::string& answer, const std::string& installer, const std::string& trustedComment,
               const testing::KeyPair* key = nullptr, bool legacy = false) {
    WriteText(site_ / "updates.php", answer);
    WriteText(Installer(), installer);
    WriteText(Installer().string() + ".minisig",
              testing::Sign(Installer(), key ? *key : key_, trustedComment, legacy));
  }
  fs::path Installer() const { return site_ / "FernpadServer" / "Update.deb"; }

  void Start(const UpdateServer::Options& options = {}) {
    server_ = std::make_unique<UpdateServer>(site_, log_, options);
  }

  UpdaterConfig Config(const std::string& scheme = "http", const std::string& caFile = {}) {
    UpdaterConfig config;
    config.countryCode = kCountry;
    config.installedVersion = "0.1.0.0";
    config.baseUrl = scheme + "://127.0.0.1:" + std::to_string(server_->Port()) + "/";
    config.publicKeys = {key_.publicLine};
    config.dataFolder = data_;
    config.makeClient = [caFile, this](const settings::UpdaterSettings& proxy) {
      ++clientsMade_;
      HttpClientOptions options;
      options.caFile = caFile;
      return MakeHttpClient(proxy, options);
    };
    return config;
  }

  std::string Requests() const { return ReadText(log_); }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path data_ = dir_ / "data";
  fs::path log_ = dir_ / "requests.log";
  std::string payload_;
  testing::KeyPair key_;
  std::unique_ptr<UpdateServer> server_;
  int clientsMade_ = 0;
  // The environment's proxies must not take the loopback requests elsewhere.
  ScopedEnv noProxy_{"http_proxy", std::nullopt}, noSecureProxy_{"https_proxy", std::nullopt},
      noAllProxy_{"all_proxy", std::nullopt}, noAllProxyUpper_{"ALL_PROXY", std::nullopt},
      noSecureProxyUpper_{"HTTPS_PROXY", std::nullopt};
};

TEST_F(UpdateFlowTest, AcceptedOfferEndsWithTheVerifiedInstallerHandedOver) {
  Start();
  RecordingUi ui;
  EXPECT_EQ(CheckForUpdate(Config(), ui, false), CheckOutcome::HandedOver);

  const fs::path installer = data_ / "Update.deb";
  ASSERT_EQ(ui.offers.size(), 1u);
  EXPECT_EQ(ui.offers[0], OfferBox(kCountry, "FernpadServer", "0.1.0.0", "0.2.0.0"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, HandOverBox(kCountry, installer));
  EXPECT_EQ(ui.handedOver, std::vector<fs::path>{installer});
  EXPECT_EQ(ReadText(installer), payload_);
  EXPECT_EQ(FolderListing(data_), std::vector<std::string>{"Update.deb"});
  EXPECT_EQ(ui.started, 1);
  EXPECT_EQ(ui.ended, 1);
  ASSERT_FALSE(ui.progress.empty());
  EXPECT_TRUE(std::is_sorted(ui.progress.begin(), ui.progress.end(),
                             [](const auto& a, const auto& b) { return a.received < b.received; }));
  EXPECT_EQ(ui.progress.back().received, static_cast<std::int64_t>(payload_.size()));
  EXPECT_EQ(ui.progress.back().total, static_cast<std::int64_t>(payload_.size()));

  const std::string requests = Requests();
  for (const char* request :
       {"direct GET /updates.php?programname=FernpadServer&clientversion=0.1.0.0 cache-control=no-cache\n",
        "direct GET /FernpadServer/Update.deb cache-control=no-cache\n",
        "direct GET /FernpadServer/Update.deb.minisig cache-control=no-cache\n"})
    EXPECT_NE(requests.find(request), std::string::npos) << request << " in\n" << requests;
}

TEST_F(UpdateFlowTest, RefusedDownloadsLeaveNoFileBehind) {
  const testing::KeyPair other = testing::MakeKeyPair(dir_.Path(), "other");
  Start();
  struct Case {
    const char* name;
    std::function<void(UpdaterConfig&, RecordingUi&)> prepare;
    CheckOutcome outcome;
    std::optional<DownloadFailure> failure;  // nullopt: no box
    bool fetched = true;                     // the installer was asked for
  } cases[] = {
      {"installer swapped after signing",
       [&](UpdaterConfig&, RecordingUi&) { WriteText(Installer(), payload_ + "!"); }, CheckOutcome::Refused,
       DownloadFailure::SignatureInvalid},
      {"signature missing",
       [&](UpdaterConfig&, RecordingUi&) { fs::remove(Installer().string() + ".minisig"); },
       CheckOutcome::Refused, DownloadFailure::SignatureMissing},
      {"older release's signature replayed",
       [&](UpdaterConfig&, RecordingUi&) { Publish("0.2.0.0", payload_, "FernpadServer 0.1.5.0"); },
       CheckOutcome::Refused, DownloadFailure::SignatureInvalid},
      {"signed with an untrusted key",
       [&](UpdaterConfig&, RecordingUi&) { Publish("0.2.0.0", payload_, "FernpadServer 0.2.0.0", &other); },
       CheckOutcome::Refused, DownloadFailure::SignatureInvalid},
      {"legacy signature",
       [&](UpdaterConfig&, RecordingUi&) {
         Publish("0.2.0.0", payload_, "FernpadServer 0.2.0.0", &key_, true);
       },
       CheckOutcome::Refused, DownloadFailure::SignatureInvalid},
      {"server closes mid-download",
       [&](UpdaterConfig&, RecordingUi&) { WriteText(Installer().string() + ".cut", ""); },
       CheckOutcome::Refused, DownloadFailure::Transfer},
      {"data folder gone", [&](UpdaterConfig& config, RecordingUi&) { config.dataFolder = dir_ / "gone"; },
       CheckOutcome::Refused, DownloadFailure::Store, false},
      {"installer missing", [&](UpdaterConfig&, RecordingUi&) { fs::remove(Installer()); },
       CheckOutcome::Refused, DownloadFailure::Transfer},
      {"no trusted key", [](UpdaterConfig& config, RecordingUi&) { config.publicKeys.clear(); },
       CheckOutcome::Refused, DownloadFailure::NoTrustedKeys, false},
      {"cancelled", [](UpdaterConfig&, RecordingUi& ui) { ui.cancel = true; }, CheckOutcome::Cancelled,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Publish("0.2.0.0", payload_, "FernpadServer 0.2.0.0");
    fs::remove(Installer().string() + ".cut");
    UpdaterConfig config = Config();
    RecordingUi ui;
    c.prepare(config, ui);
    const std::size_t before = Requests().size();
    EXPECT_EQ(CheckForUpdate(config, ui, false), c.outcome);
    EXPECT_EQ(Requests().substr(before).find("/Update.deb") != std::string::npos, c.fetched);
    EXPECT_EQ(ui.offers.size(), 1u);
    EXPECT_TRUE(ui.handedOver.empty());
    EXPECT_EQ(FolderListing(data_), std::vector<std::string>{});
    EXPECT_EQ(ui.started, ui.ended);
    if (!c.failure) {
      EXPECT_TRUE(ui.boxes.empty());
      continue;
    }
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].icon, UpdaterUi::Icon::Warning);
    const BoxText expected = DownloadFailedBox(kCountry, DownloadFailureReason(kCountry, *c.failure));
    EXPECT_EQ(ui.boxes[0].text.caption, expected.caption);
    EXPECT_EQ(ui.boxes[0].text.text.rfind(expected.text, 0), 0u) << ui.boxes[0].text.text;
  }
}

// Before any offer: no server, a failed request, no newer version, or the offer declined. Silent checks show
// no box for the first three; the offer is always shown.
TEST_F(UpdateFlowTest, ChecksThatEndBeforeTheDownload) {
  Start();
  using Icon = UpdaterUi::Icon;
  struct Case {
    const char* name;
    std::function<void(UpdaterConfig&, RecordingUi&)> prepare;
    CheckOutcome outcome;
    std::optional<RecordingUi::Box> box;  // when not silent
    bool offered = false;
  } cases[] = {
      {"no update server", [](UpdaterConfig& config, RecordingUi&) { config.baseUrl.clear(); },
       CheckOutcome::NoServer, RecordingUi::Box{NoUpdateServerBox(kCountry), Icon::Information}},
      {"server unreachable",
       [](UpdaterConfig& config, RecordingUi&) {
         config.baseUrl = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/";
       },
       CheckOutcome::Failed, RecordingUi::Box{RequestFailedBox(kCountry), Icon::Warning}},
      {"no version answer", [&](UpdaterConfig&, RecordingUi&) { fs::remove(site_ / "updates.php"); },
       CheckOutcome::Failed, RecordingUi::Box{RequestFailedBox(kCountry), Icon::Warning}},
      {"an answer far too long",
       [&](UpdaterConfig&, RecordingUi&) { WriteText(site_ / "updates.php", std::string(10000, '9')); },
       CheckOutcome::Failed, RecordingUi::Box{RequestFailedBox(kCountry), Icon::Warning}},
      {"same version", [&](UpdaterConfig&, RecordingUi&) { WriteText(site_ / "updates.php", "0.1.0.0\r\n"); },
       CheckOutcome::UpToDate, RecordingUi::Box{NoUpdateBox(kCountry), Icon::None}},
      {"empty answer", [&](UpdaterConfig&, RecordingUi&) { WriteText(site_ / "updates.php", ""); },
       CheckOutcome::UpToDate, RecordingUi::Box{NoUpdateBox(kCountry), Icon::None}},
      {"offer declined", [](UpdaterConfig&, RecordingUi& ui) { ui.accept = false; }, CheckOutcome::Declined,
       std::nullopt, true},
  };
  for (const bool silent : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (silent ? ", silent" : ""));
      Publish("0.2.0.0", payload_, "FernpadServer 0.2.0.0");
      UpdaterConfig config = Config();
      RecordingUi ui;
      c.prepare(config, ui);
      clientsMade_ = 0;
      const std::size_t before = Requests().size();
      EXPECT_EQ(CheckForUpdate(config, ui, silent), c.outcome);
      EXPECT_EQ(ui.offers.size(), c.offered ? 1u : 0u);
      ASSERT_EQ(ui.boxes.size(), c.box && !silent ? 1u : 0u);
      if (!ui.boxes.empty()) {
        EXPECT_EQ(ui.boxes[0].text, c.box->text);
        EXPECT_EQ(ui.boxes[0].icon, c.box->icon);
      }
      EXPECT_EQ(ui.started, 0);
      EXPECT_EQ(Requests().find("/Update.deb", before), std::string::npos);
      if (c.outcome == CheckOutcome::NoServer) {
        EXPECT_EQ(clientsMade_, 0);  // nothing was sent anywhere
      }
      EXPECT_EQ(FolderListing(data_), std::vector<std::string>{});
    }
  }
}

// HTTPS is verified against the trusted CAs: the test's CA when told, the system's otherwise. A stored proxy
// with basic authentication carries plain and TLS requests; a wrong password fails the check.
TEST_F(UpdateFlowTest, HttpsAndTheStoredProxy) {
  Start({dir_ / "tls", "fern:pad words"});
  const UpdateServer plain(site_, log_, {});
  const std::string ca = (dir_ / "tls" / "ca.crt").string();
  settings::UpdaterSettings proxy;
  proxy.proxyServer = "127.0.0.1";
  proxy.proxyPort = server_->ProxyPort();
  proxy.proxyBasicAuthentication = true;
  proxy.proxyUsername = "fern";
  proxy.proxyPassword = "pad words";
  settings::UpdaterSettings wrongPassword = proxy;
  wrongPassword.proxyPassword = "pad";
  struct Case {
    const char* name;
    const char* scheme;
    std::string caFile;
    settings::UpdaterSettings proxy;
    CheckOutcome outcome;
    const char* proxyLog;  // what the proxy saw, if anything
  } cases[] = {
      {"https with the test CA", "https", ca, {}, CheckOutcome::HandedOver, nullptr},
      {"https with the system CAs", "https", "", {}, CheckOutcome::Failed, nullptr},
      {"https through the proxy", "https", ca, proxy, CheckOutcome::HandedOver, "proxy CONNECT 127.0.0.1:"},
      {"http through the proxy", "http", "", proxy, CheckOutcome::HandedOver, "proxy GET http://127.0.0.1:"},
      {"wrong proxy password", "https", ca, wrongPassword, CheckOutcome::Failed, "proxy refused CONNECT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(data_);
    fs::create_directories(data_);
    UpdaterConfig config = Config(c.scheme, c.caFile);
    if (c.scheme == std::string("http"))
      config.baseUrl = "http://127.0.0.1:" + std::to_string(plain.Port()) + "/";
    config.proxy = c.proxy;
    RecordingUi ui;
    const std::size_t before = Requests().size();
    EXPECT_EQ(CheckForUpdate(config, ui, true), c.outcome);
    EXPECT_EQ(ui.handedOver.size(), c.outcome == CheckOutcome::HandedOver ? 1u : 0u);
    const std::string requests = Requests().substr(before);
    EXPECT_EQ(requests.find("proxy") != std::string::npos, c.proxyLog != nullptr) << requests;
    if (c.proxyLog) {
      EXPECT_NE(requests.find(c.proxyLog), std::string::npos) << requests;
    }
  }
}

// The running program's configuration: the data folder's option.dat gives the proxy and records the program.
TEST(UpdaterConfigTest, ThisProgramsConfigComesFromTheDataFolder) {
  TempDir home;
  ScopedEnv dataHome("XDG_DATA_HOME", home.Path().string());
  const fs::path folder = home / "Ornivo" / "FernpadServer";
  fs::create_directories(folder);
  {
    settings::TOrnivoFile file;
    file.Open((folder / "option.dat").string(), true, false);
    file.WriteBoolean(settings::kProxyBasicAuthenticationKey, true);
    file.WriteString(settings::kProxyServerKey, "proxy.example");
    file.WriteString(settings::kProxyUsernameKey, "user");
    file.WriteString(settings::kProxyPasswordKey, "secret");
    file.WriteInteger(settings::kProxyPortKey, 3128);
    file.Save();
  }
  const UpdaterConfig config = ConfigForThisProgram("http://127.0.0.1:9/updates", 43);
  EXPECT_EQ(config.baseUrl, "http://127.0.0.1:9/updates/");
  EXPECT_EQ(config.countryCode, 43);
  EXPECT_EQ(config.programName, "FernpadServer");
  EXPECT_EQ(config.installedVersion, GetInstalledVersion());
  EXPECT_EQ(config.dataFolder, folder.string() + "/");
  settings::UpdaterSettings expected;
  expected.proxyBasicAuthentication = true;
  expected.proxyServer = "proxy.example";
  expected.proxyUsername = "user";
  expected.proxyPassword = "secret";
  expected.proxyPort = 3128;
  EXPECT_EQ(config.proxy, expected);
  settings::TOrnivoFile file;
  file.Open((folder / "option.dat").string(), false, false);
  EXPECT_FALSE(file.ReadString(settings::kProgramPathKey).empty());
}

}  // namespace
}  // namespace fernpad::updater
