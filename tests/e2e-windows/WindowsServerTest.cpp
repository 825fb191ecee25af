// End to end on Windows (under wine): the built fernpad-server.exe --headless, driven over loopback, seen
// through the Windows API of this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <boost/asio.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "WinServerProcess.h"
#include "imaging/Jpeg.h"
#include "settings/Options.h"

namespace fernpad::test {
namespace {

namespace fs = std::filesystem;
namespace asio = boost::asio;
using namespace std::chrono_literals;
using settings::testing::Bytes;
using settings::testing::EncodeNodes;
using settings::testing::Le32;
using settings::testing::Node;
using settings::testing::Text;

POINT Cursor() {
  POINT p{};
  ::GetCursorPos(&p);
  return p;
}

std::string Body(const std::string& reply) {
  const auto end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

Bytes ReadFileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// "option.dat" as a save must lay it out (the key table), for a first start with these host lists.
Bytes ExpectedOptionsFile(const std::vector<std::string>& allowed, const std::vector<std::string>& denied) {
  const settings::Options o;  // a first start: every option at its default
  auto list = [](std::int32_t key, const std::vector<std::string>& hosts) {
    Node node{key, {}, {{0, Le32(static_cast<std::int32_t>(hosts.size())), {}}}};
    for (std::size_t i = 0; i < hosts.size(); ++i)
      node.children.push_back({static_cast<std::int32_t>(i + 1), Text(hosts[i]), {}});
    return node;
  };
  const Bytes no{0};
  return EncodeNodes({
      {1000, {}, {{1, Le32(o.MouseAcceleration), {}}}},
      {1001, {}, {{1, no, {}}, {2, Le32(static_cast<std::int32_t>(o.PointerColor)), {}}}},
      list(1002, allowed),
      list(1003, denied),
      {1004, {}, {{0, no, {}}}},
      {1005, {}, {{0, no, {}}}},
      {1006, {}, {{0, no, {}}}},
      {1007, {}, {{0, no, {}}}},
      {1008, {}, {{0, Text("C:\\"), {}}}},
      {1009, {}, {{0, Le32(0), {}}}},
  });
}

class WindowsServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    answers = new asio::ip::udp::socket(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    server = new WinServerProcess(FERNPAD_SERVER_BINARY, {"--allow", "127.0.0.1", "--udp-answer-port",
                                                          std::to_string(answers->local_endpoint().port())});
  }
  static void TearDownTestSuite() {
    delete server;
    delete answers;
  }
  static std::string Get(const std::string& query) { return HttpGet(server->HttpPort(), "/?" + query); }

  static asio::io_context io;
  static asio::ip::udp::socket* answers;
  static WinServerProcess* server;
};
asio::io_context WindowsServerTest::io;
asio::ip::udp::socket* WindowsServerTest::answers = nullptr;
WinServerProcess* WindowsServerTest::server = nullptr;

TEST_F(WindowsServerTest, AbsoluteAndRelativeMovesPlaceThePointer) {
  const int cx = ::GetSystemMetrics(SM_CXSCREEN) / 2, cy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
  struct Case {
    const char* query;
    int dx, dy;  // from the screen's centre
  };
  const Case cases[] = {
      {"x:0&y:0&a=a", 0, 0},
      {"x:-100&y:50&a=a", -100, 50},
      {"x:15&y:-3&a=m", -84, 47},  // acceleration 1: 15 takes one step to 15.75
      {"x:0&y:0&a=ss", -84, 47},   // a snapshot never moves the pointer
  };
  for (const Case& c : cases) {
    const std::string reply = Get(c.query);
    EXPECT_NE(reply.find("200 OK"), std::string::npos) << c.query;
    const POINT p = Cursor();
    EXPECT_EQ(p.x, cx + c.dx) << c.query;
    EXPECT_EQ(p.y, cy + c.dy) << c.query;
  }
}

TEST_F(WindowsServerTest, SnapshotIsAJpegOfTheScreen) {
  // The X root is painted by the fixture x_root_painted; the screen's centre shows nothing else.
  const unsigned long colour = std::strtoul(std::getenv("FERNPAD_ROOT_COLOUR"), nullptr, 16);
  const std::string body = Body(Get("x:0&y:0&a=ss"));
  ASSERT_EQ(body.substr(0, 2), "\xFF\xD8");
  const Bitmap24 picture = DecodeJpeg(body);
  ASSERT_EQ(picture.Width(), 400);
  ASSERT_EQ(picture.Height(), 300);
  const std::uint8_t* bgr = picture.Pixel(200, 150);
  const int want[3] = {static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                       static_cast<int>(colour >> 16)};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(bgr[i], want[i], 8) << "byte " << i;
}

TEST_F(WindowsServerTest, TypedTextReachesTheForegroundWindow) {
  const fs::path log =
      fs::temp_directory_path() / ("fernpad-typed-" + std::to_string(::GetCurrentProcessId()));
  std::wstring command = L"\"" + fs::path(FERNPAD_TYPING_TARGET).wstring() + L"\" \"" + log.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION target{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &target));
  HWND window = nullptr;
  for (int i = 0; i < 100 && (window == nullptr || ::GetForegroundWindow() != window); ++i) {
    std::this_thread::sleep_for(100ms);
    window = ::FindWindowA("FernpadTypingTarget", nullptr);
  }
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(::GetForegroundWindow(), window);

  const std::string text = "Hello, World! 0123 ~{}";
  std::string query = "x:0&y:0&a=k&v=%20";
  for (unsigned char c : text) {
    static const char* const kHex = "0123456789ABCDEF";
    query += {'%', kHex[c >> 4], kHex[c & 15]};
  }
  Get(query);
  std::string typed;
  for (int i = 0; i < 100 && typed.size() < text.size(); ++i) {
    std::this_thread::sleep_for(50ms);
    std::ifstream in(log, std::ios::binary);
    typed.assign(std::istreambuf_iterator<char>(in), {});
  }
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  ::WaitForSingleObject(target.hProcess, 10000);
  ::CloseHandle(target.hProcess);
  ::CloseHandle(target.hThread);
  std::error_code ec;
  fs::remove(log, ec);
  EXPECT_EQ(typed, text);
}

TEST_F(WindowsServerTest, DiscoveryIsAnswered) {
  std::smatch m;
  const std::string log = server->Log();
  ASSERT_TRUE(std::regex_search(log, m, std::regex(R"(datagrams on UDP port (\d+))")));
  asio::ip::udp::socket client(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  const std::uint8_t discovery = 100;
  client.send_to(asio::buffer(&discovery, 1),
                 asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"),
                                         static_cast<unsigned short>(std::stoi(m[1]))));
  char answer[64];
  for (int i = 0; i < 100 && answers->available() == 0; ++i) std::this_thread::sleep_for(50ms);
  ASSERT_GT(answers->available(), 0u);
  const std::size_t n = answers->receive(asio::buffer(answer));
  EXPECT_EQ(std::string(answer, n), "QMXServer");
}

TEST(WindowsServerAccess, HostListsLandInTheOptionsFile) {
  struct Case {
    std::vector<std::string> args;
    bool served;
    std::vector<std::string> allowed;
  };
  const Case cases[] = {
      {{"--allow", "127.0.0.1"}, true, {"127.0.0.1"}},
      {{}, false, {}},  // nobody can answer the question: refused, and not remembered
  };
  for (const Case& c : cases) {
    WinServerProcess server(FERNPAD_SERVER_BINARY, c.args);
    const std::string reply = HttpGet(server.HttpPort(), "/?x:0&y:0&a=a");
    EXPECT_EQ(Body(reply) == " ", c.served) << reply;
    EXPECT_EQ(server.Stop(), 0) << server.Log();
    if (c.served) {
      EXPECT_EQ(ReadFileBytes(server.ConfigDir() / "option.dat"), ExpectedOptionsFile(c.allowed, {}));
    } else {  // nothing changed, so nothing was saved
      EXPECT_TRUE(ReadFileBytes(server.ConfigDir() / "option.dat").empty());
    }
  }
}

}  // namespace
}  // namespace fernpad::test
