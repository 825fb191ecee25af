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
#include <cerrno>
#include <cstring>
#include <future>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

namespace fernpad::net {
namespace {

using namespace std::chrono_literals;

// A raw HTTP/1.1 client on loopback, so the bytes on the wire are what the test sees.
class Client {
 public:
  explicit Client(std::uint16_t port) : fd_(test::ConnectLoopback(port)) {}
  explicit Client(int fd) : fd_(fd) {}
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

const char* kGet = "GET /?x:1&y:2&a=m HTTP/1.1\r\nHost: 127.0.0.1:12769\r\n\r\n";

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
  client.Send("GET /?x:0&y:0&a=mbl HTTP/1.1\r\nHost: 127.0.0.1:12769\r\n\r\n");  // same connection
  EXPECT_EQ(Body(client.ReadResponse()), " ");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::vector<std::string>{"x:1", "y:2", "a=m"}));
  EXPECT_EQ(peer, "127.0.0.1");
}

// The user reads this error: it names the port and the system's reason, and a second try may follow.
TEST_F(HttpServerTest, StartOnAPortInUseNamesThePort) {
  StartServer([](const std::string&, const std::vector<std::string>&) { return HttpReply{}; });
  HttpServerOptions options;
  options.address = "127.0.0.1";
  options.port = server->Port();
  HttpServer second(options, [](const std::string&, const std::vector<std::string>&) { return HttpReply{}; });
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      second.Start();
      ADD_FAILURE() << "started on a port in use";
    } catch (const std::system_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "TCP port " + std::to_string(options.port) + ": " + std::strerror(EADDRINUSE));
    }
  }
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
  client.Send("GET /?x:5&a=m HTTP/1.1\r\nHost: 127.0.0.1:12769\r\n\r\n");
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

using test::ResponseHeader;

TEST_F(HttpServerTest, OnlyTheHandheldsKindOfRequestReachesTheHandler) {
  std::atomic<int> handled{0};
  HttpServerOptions options;
  options.hostNames = {"my-pc"};
  StartServer(
      [&](const std::string&, const std::vector<std::string>&) {
        ++handled;
        return HttpReply{HttpReply::Kind::Body, " "};
      },
      options);
  const std::string line = "GET /?x:0&y:0&a=mbl HTTP/1.1\r\n";
  struct Case {
    std::string headers;
    int status;
  } cases[] = {
      // What the handheld sends: the request line and the PC's address as Host.
      {"Host: 192.168.1.10:12769\r\n", 200},
      {"", 200},  // no Host at all
      {"Host: localhost:12769\r\n", 200},
      {"Host: [::1]:12769\r\n", 200},
      {"Host: MY-PC\r\n", 200},
      {"Host: 127.0.0.1:12769\r\nOrigin: http://127.0.0.1:12769\r\nSec-Fetch-Site: same-origin\r\n", 200},
      {"Host: 127.0.0.1:12769\r\nSec-Fetch-Site: none\r\n", 200},
      // A page of another site, through a browser on an allowed device.
      {"Host: 127.0.0.1:12769\r\nOrigin: http://evil.example\r\n", 403},
      {"Host: 127.0.0.1:12769\r\nOrigin: null\r\n", 403},
      {"Host: 127.0.0.1:12769\r\nSec-Fetch-Site: cross-site\r\n", 403},
      {"Host: 127.0.0.1:12769\r\nSec-Fetch-Site: same-site\r\n", 403},
      // A name rebound to this machine's address.
      {"Host: evil.example:12769\r\n", 421},
      {"Host: 127.0.0.1.evil.example\r\n", 421},
      {"Host: 127.0.0.1:abc\r\n", 421},
  };
  for (const auto& c : cases) {
    Client client(server->Port());
    client.Send(line + c.headers + "\r\n");
    const std::string response = client.ReadResponse();
    EXPECT_EQ(response.substr(9, 3), std::to_string(c.status)) << c.headers;
    EXPECT_EQ(ResponseHeader(response, "X-Content-Type-Options"), "nosniff") << c.headers;
    if (c.status != 200) {
      EXPECT_EQ(ResponseHeader(response, "Content-Type"), "text/plain") << c.headers;
      EXPECT_TRUE(client.ClosedWithin(10s)) << c.headers;
    }
  }
  Client post(server->Port());
  post.Send("POST /?x:0&y:0&a=mbl HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
  const std::string response = post.ReadResponse();
  EXPECT_EQ(response.substr(9, 3), "405");
  EXPECT_EQ(ResponseHeader(response, "Allow"), "GET");
  EXPECT_EQ(handled, 7);
}

TEST_F(HttpServerTest, MalformedAndOversizedRequestsAreAnsweredThenClosed) {
  std::atomic<int> handled{0};
  StartServer([&](const std::string&, const std::vector<std::string>&) {
    ++handled;
    return HttpReply{};
  });
  const std::pair<std::string, std::string> cases[] = {
      {"NOT HTTP AT ALL\r\n\r\n", "400"},
      {"GET /?a HTTP/1.1\r\nBad Header\r\n\r\n", "400"},
      {"GET /?" + std::string(20 * 1024, 'a') + " HTTP/1.1\r\n\r\n", "431"},
      {"GET /?a HTTP/1.1\r\nX-Big: " + std::string(20 * 1024, 'b') + "\r\n\r\n", "431"},
      {"GET /?a HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'c'), "413"},
  };
  for (const auto& [request, status] : cases) {
    Client client(server->Port());
    client.Send(request);
    const std::string response = client.ReadResponse();
    EXPECT_EQ(response.substr(0, 12), "HTTP/1.1 " + status) << request.substr(0, 40);
    EXPECT_TRUE(client.ClosedWithin(10s));
  }
  EXPECT_EQ(handled, 0);
}

TEST_F(HttpServerTest, PeersNotTrustedCannotCrowdOutTrustedOnes) {
  HttpServerOptions options;
  options.trusted = [](const std::string& peer) { return peer == "127.0.0.1"; };
  options.maxUntrusted = 4;
  options.maxUntrustedPerPeer = 2;
  options.untrustedIdleTimeout = 1s;
  StartServer(
      [](const std::string& peer, const std::vector<std::string>&) {
        HttpReply reply{HttpReply::Kind::Body, " "};
        reply.close = peer != "127.0.0.1";  // refused peers are let go after the reply
        return reply;
      },
      options);
  auto from = [&](const std::string& peer) {
    return std::make_unique<Client>(test::ConnectLoopback(server->Port(), peer));
  };
  std::vector<std::unique_ptr<Client>> held;
  for (const char* peer : {"127.0.0.2", "127.0.0.2", "127.0.0.3", "127.0.0.3"}) held.push_back(from(peer));
  auto samePeer = from("127.0.0.2");  // over its own cap
  auto another = from("127.0.0.4");   // over the cap of all untrusted peers
  EXPECT_TRUE(samePeer->ClosedWithin(10s));
  EXPECT_TRUE(another->ClosedWithin(10s));
  // The trusted peer gets in and stays; the silent untrusted ones are let go soon.
  auto trusted = from("127.0.0.1");
  for (auto& h : held) EXPECT_TRUE(h->ClosedWithin(10s));
  trusted->Send(kGet);
  EXPECT_EQ(Body(trusted->ReadResponse()), " ");
  trusted->Send(kGet);
  EXPECT_EQ(Body(trusted->ReadResponse()), " ");
  // An untrusted peer that is answered is closed after the reply (once the closed ones have ended on the
  // server's side too, so that it is let in).
  for (int i = 0; i < 1000 && server->ActiveConnections() > 1; ++i) std::this_thread::sleep_for(10ms);
  auto refused = from("127.0.0.5");
  refused->Send(kGet);
  EXPECT_EQ(ResponseHeader(refused->ReadResponse(), "Connection"), "close");
  EXPECT_TRUE(refused->ClosedWithin(10s));
}

}  // namespace
}  // namespace fernpad::net
