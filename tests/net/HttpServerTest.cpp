#include "net/HttpServer.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace fernpad::net {
namespace {

using namespace std::chrono_literals;

// A raw HTTP/1.1 client on loopback, so the bytes on the wire are what the test sees.
class Client {
 public:
  explicit Client(std::uint16_t port) : fd_(test::ConnectLoopback(port)) {}
  ~Client() { close(fd_); }

  void Send(const std::string& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }

  // Reads one response (headers plus Content-Length bytes); "" when the server closed the connection first.
  std::string ReadResponse(std::chrono::milliseconds timeout = 10s) {
    while (true) {
      const auto end = buffer_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::size_t length = 0;
        const auto cl = buffer_.find("Content-Length: ");
        if (cl != std::string::npos && cl < end) length = std::stoul(buffer_.substr(cl + 16));
        if (buffer_.size() >= end + 4 + length) {
          std::string response = buffer_.substr(0, end + 4 + length);
          buffer_.erase(0, end + 4 + length);
          return response;
        }
      }
      if (!ReadMore(timeout)) return {};
    }
  }

  // True when the server closes the connection within the timeout.
  bool ClosedWithin(std::chrono::milliseconds timeout) {
    while (ReadMore(timeout)) {
    }
    return closed_;
  }

 private:
  bool ReadMore(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
};

std::string Body(const std::string& response) {
  return response.substr(response.find("\r\n\r\n") + 4);
}

const char* kGet = "GET /?x:1&y:2&a=m HTTP/1.1\r\nHost: pc\r\n\r\n";

class HttpServerTest : public ::testing::Test {
 protected:
  void StartServer(HttpHandler handler, HttpServerOptions options = {}) {
    options.address = "127.0.0.1";
    options.port = 0;
    server = std::make_unique<HttpServer>(options, std::move(handler));
    server->Start();
  }
  std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerTest, AnswersWithTheHandlersBodyAndKeepsTheConnection) {
  std::vector<std::vector<std::string>> seen;
  std::string peer;
  StartServer([&](const std::string& p, const std::vector<std::string>& params) {
    peer = p;
    seen.push_back(params);
    return HttpReply{HttpReply::Kind::Body, " "};
  });
  Client client(server->Port());
  client.Send(kGet);
  const std::string first = client.ReadResponse();
  EXPECT_EQ(first.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(first.find("Content-Length: 1\r\n"), std::string::npos);
  EXPECT_EQ(Body(first), " ");
  client.Send("GET /?x:0&y:0&a=mbl HTTP/1.1\r\nHost: pc\r\n\r\n");  // same connection
  EXPECT_EQ(Body(client.ReadResponse()), " ");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::vector<std::string>{"x:1", "y:2", "a=m"}));
  EXPECT_EQ(peer, "127.0.0.1");
}

TEST_F(HttpServerTest, DefaultReplyHasNoBodyAndErrorsAre500WithTheMessage) {
  StartServer([](const std::string&, const std::vector<std::string>& params) -> HttpReply {
    if (params.size() < 3) throw std::out_of_range("List index out of bounds (2)");
    return {};
  });
  Client client(server->Port());
  client.Send(kGet);
  const std::string empty = client.ReadResponse();
  EXPECT_EQ(empty.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(empty.find("Content-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(Body(empty), "");
  client.Send("GET /?x:5&a=m HTTP/1.1\r\nHost: pc\r\n\r\n");
  const std::string error = client.ReadResponse();
  EXPECT_EQ(error.substr(0, 12), "HTTP/1.1 500");
  EXPECT_EQ(Body(error), "List index out of bounds (2)");
  client.Send(kGet);  // the connection survives the error
  EXPECT_EQ(client.ReadResponse().substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, Http10ClosesAfterTheReply) {
  StartServer([](const std::string&, const std::vector<std::string>&) {
    return HttpReply{HttpReply::Kind::Body, " "};
  });
  Client client(server->Port());
  client.Send("GET /?a HTTP/1.0\r\n\r\n");
  EXPECT_EQ(Body(client.ReadResponse()), " ");
  EXPECT_TRUE(client.ClosedWithin(10s));
}

TEST_F(HttpServerTest, ServesConnectionsAtTheSameTime) {
  // Each handler waits until every connection has a request inside: only concurrent threads get there.
  constexpr int kClients = 6;
  std::atomic<int> inside{0};
  StartServer([&](const std::string&, const std::vector<std::string>&) {
    ++inside;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (inside < kClients && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    return HttpReply{HttpReply::Kind::Body, inside >= kClients ? "all" : "alone"};
  });
  std::vector<std::future<std::string>> replies;
  for (int i = 0; i < kClients; ++i)
    replies.push_back(std::async(std::launch::async, [&] {
      Client client(server->Port());
      client.Send(kGet);
      return Body(client.ReadResponse());
    }));
  for (auto& r : replies) EXPECT_EQ(r.get(), "all");
}

TEST_F(HttpServerTest, IdleAndHalfOpenClientsAreClosedAndDoNotBlockStop) {
  HttpServerOptions options;
  options.idleTimeout = 1s;
  StartServer([](const std::string&, const std::vector<std::string>&) { return HttpReply{}; }, options);
  Client silent(server->Port());
  Client partial(server->Port());
  partial.Send("GET /?a=m HTTP/1.1\r\nHo");
  EXPECT_TRUE(silent.ClosedWithin(10s));
  EXPECT_TRUE(partial.ClosedWithin(10s));

  Client waiting(server->Port());  // with the default timeout still open when the server stops
  server->Stop();
  EXPECT_TRUE(waiting.ClosedWithin(10s));
}

TEST_F(HttpServerTest, ConnectionsOverTheCapAreClosed) {
  HttpServerOptions options;
  options.maxConnections = 2;
  StartServer(
      [](const std::string&, const std::vector<std::string>&) {
        return HttpReply{HttpReply::Kind::Body, " "};
      },
      options);
  Client a(server->Port());
  Client b(server->Port());
  a.Send(kGet);
  b.Send(kGet);
  ASSERT_FALSE(a.ReadResponse().empty());
  ASSERT_FALSE(b.ReadResponse().empty());
  Client c(server->Port());
  EXPECT_TRUE(c.ClosedWithin(10s));
  EXPECT_EQ(server->ActiveConnections(), 2);
}

TEST_F(HttpServerTest, OversizedRequestsEndTheConnection) {
  StartServer([](const std::string&, const std::vector<std::string>&) { return HttpReply{}; });
  Client client(server->Port());
  client.Send("GET /?" + std::string(64 * 1024, 'a') + " HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(client.ClosedWithin(10s));
}

}  // namespace
}  // namespace fernpad::net
