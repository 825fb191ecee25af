#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "../settings/TestSupport.h"
#include "app/UpdateCheck.h"

namespace fernpad::app {
namespace {

// The headless start-up check asks the update server on its own thread, and quitting the program does not
// wait for a server that never answers.
TEST(StartupUpdateCheck, AsksTheServerAndStopsARequestUnderWay) {
  using settings::testing::ScopedEnv;
  const settings::testing::TempDir home;
  const ScopedEnv dataHome("XDG_DATA_HOME", home.Path().string()), proxy("http_proxy", std::nullopt),
      allProxy("all_proxy", std::nullopt), allProxyUpper("ALL_PROXY", std::nullopt);
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size);

  auto check =
      std::make_unique<StartupUpdateCheck>("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)));
  pollfd p{listener, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 30000), 1) << "the check never connected";
  const int peer = accept(listener, nullptr, nullptr);
  std::string request;
  for (int reads = 0; reads < 100 && request.find("\r\n\r\n") == std::string::npos; ++reads) {
    pollfd r{peer, POLLIN, 0};
    if (poll(&r, 1, 10000) != 1) break;
    char buf[1024];
    const ssize_t n = read(peer, buf, sizeof buf);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(request.rfind("GET /updates.php?programname=FernpadServer&clientversion=", 0), 0u) << request;

  // The server keeps the request waiting; the program quits.
  auto stopped = std::async(std::launch::async, [&check] { check.reset(); });
  EXPECT_EQ(stopped.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "quitting waited for the server";
  stopped.wait();
  close(peer);
  close(listener);
}

}  // namespace
}  // namespace fernpad::app
