// The upload endpoint on loopback with the real server and the fake platform.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../upload/StreamBytes.h"
#include "Loopback.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"
#include "settings/OptionsStore.h"

namespace fernpad {
namespace {

namespace fs = std::filesystem;
using upload::test::Wire;

class FolderUi : public NullUi {
 public:
  std::optional<bool> AskAllowHost(const std::string&) override { return false; }
  std::optional<std::string> AskDeviceFolder(const std::string&, const std::string&) override {
    return folder;
  }
  std::string folder;
};

class UploadEndpointTest : public ::testing::Test {
 protected:
  UploadEndpointTest()
      : dir(fs::temp_directory_path() / ("fernpad-upload-test-" + std::to_string(getpid()))),
        photos(dir / "photos") {
    fs::create_directories(photos);
    ui.folder = photos.string();
    store = std::make_unique<settings::OptionsStore>(dir / "option.dat", nullptr, "/tmp/");
    live.Load(store->LoadOptions());
    live.Change([this](settings::Options& o) {
      o.DefaultFolder = photos.string() + "/";
      o.AllowedHosts = {"127.0.0.2"};
      o.DeniedHosts = {"127.0.0.3"};
    });
    ServerOptions options;
    options.bindAddress = "127.0.0.1";
    options.httpPort = 0;
    options.udpPort = 0;
    options.uploadPort = 0;
    options.uploadStallTimeout = std::chrono::milliseconds(300);
    server = std::make_unique<Server>(platform, ui, live, options);
    server->Start();
  }
  ~UploadEndpointTest() override {
    server.reset();
    fs::remove_all(dir);
  }

  int Connect(const std::string& from) { return test::ConnectLoopback(server->UploadPort(), from); }
  static void Send(int fd, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  // Waits (up to 20 s) until the server closes the connection; it never sends anything.
  static void WaitUntilClosed(int fd) {
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char c;
    const ssize_t n = ::recv(fd, &c, 1, 0);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << "still open";
  }
  std::vector<fs::path> FilesInPhotos() const {
    return {fs::directory_iterator(photos), fs::directory_iterator()};
  }
  // Waits (up to 10 s) until the folder holds `count` files.
  bool WaitForFiles(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FilesInPhotos().size() != count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  static std::string Photo(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
  }

  fs::path dir;
  fs::path photos;
  FakePlatform platform;
  FolderUi ui;
  settings::LiveSettings live;
  std::unique_ptr<settings::OptionsStore> store;
  std::unique_ptr<Server> server;
};

TEST_F(UploadEndpointTest, APhotoFromANewDeviceLandsByteForByteInItsFolder) {
  const std::string photo = Photo(300 * 1024);  // several chunks
  const int fd = Connect("127.0.0.2");
  Send(fd,
       Wire().Int(5).Str("dev-1").Str("Phone").Str("IMG_1.jpg").Int(int(photo.size())).Raw(photo).Bytes());
  ::shutdown(fd, SHUT_WR);
  WaitUntilClosed(fd);
  ::close(fd);

  std::ifstream in(photos / "IMG_1.jpg", std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(stored == photo);
  EXPECT_EQ(FilesInPhotos().size(), 1u);
  EXPECT_EQ(live.Read([](const settings::Options& o) { return o.Devices.size(); }), 1u);
}

// A body that stops half way leaves nothing, whether the handheld goes away or only falls silent.
TEST_F(UploadEndpointTest, AnUnfinishedBodyLeavesNoFile) {
  struct Case {
    const char* name;
    bool kill;  // else: the connection stays open and silent until the stall timeout cuts it off
  };
  for (const Case& c : {Case{"killed", true}, Case{"stalled", false}}) {
    SCOPED_TRACE(c.name);
    const std::string half = Photo(200 * 1024);
    const int fd = Connect("127.0.0.2");
    Send(fd, Wire().Int(4).Str("half.jpg").Int(int(half.size() * 2)).Raw(half).Bytes());
    ASSERT_TRUE(WaitForFiles(1));  // the pending file is being written
    if (c.kill) {
      const linger reset{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    } else {
      WaitUntilClosed(fd);
    }
    ::close(fd);
    EXPECT_TRUE(WaitForFiles(0));
  }
}

TEST_F(UploadEndpointTest, ARefusedPeerWritesNothingAndIsCutOff) {
  for (const char* peer : {"127.0.0.3" /* denied */, "127.0.0.4" /* unknown, answered No */}) {
    SCOPED_TRACE(peer);
    const int fd = Connect(peer);
    Send(fd, Wire().Int(4).Str("x.jpg").Int(4).Raw("abcd").Bytes());
    WaitUntilClosed(fd);  // no shutdown from this side: only the server ends it
    ::close(fd);
    EXPECT_TRUE(FilesInPhotos().empty());
  }
}

}  // namespace
}  // namespace fernpad
