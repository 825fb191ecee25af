#include "net/UdpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <system_error>

#include "UdpTestSocket.h"

namespace fernpad::net {
namespace {

using namespace std::chrono_literals;
using test::UdpTestSocket;

// Collects what the handler is given and lets the test wait for it.
class Collector {
 public:
  struct Datagram {
    std::string peer;
    std::string bytes;
  };

  void Add(const std::string& peer, std::span<const std::uint8_t> data) {
    const int running = ++inFlight_;
    int seen = maxInFlight_.load();
    while (running > seen && !maxInFlight_.compare_exchange_weak(seen, running)) {
    }
    {
      std::lock_guard lock(mutex_);
      got_.push_back({peer, std::string(data.begin(), data.end())});
    }
    --inFlight_;
    changed_.notify_all();
  }
  // Waits (bounded) until n datagrams have been handled; returns them.
  std::vector<Datagram> WaitFor(std::size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return got_.size() >= n; });
    return got_;
  }
  int MaxInFlight() const { return maxInFlight_.load(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Datagram> got_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> maxInFlight_{0};
};

UdpServerOptions Loopback(std::uint16_t answerPort = 12771) {
  UdpServerOptions o;
  o.address = "127.0.0.1";
  o.port = 0;
  o.answerPort = answerPort;
  return o;
}

TEST(UdpServer, DatagramsArriveOneAtATimeInOrderWithTheSenderAddress) {
  Collector collector;
  UdpServer server(Loopback(), [&](const std::string& peer, std::span<const std::uint8_t> data) {
    collector.Add(peer, data);
  });
  server.Start();
  ASSERT_NE(server.Port(), 0);

  UdpTestSocket a("127.0.0.1"), b("127.0.0.9");
  std::vector<Collector::Datagram> expected;
  constexpr int kBursts = 6, kPerBurst = 50;  // a burst fits the receive queue
  for (int burst = 0; burst < kBursts; ++burst) {
    for (int i = 0; i < kPerBurst; ++i) {
      const std::string text = std::to_string(burst * kPerBurst + i);
      UdpTestSocket& from = i % 3 == 0 ? b : a;
      from.SendTo(server.Port(), text);
      expected.push_back({i % 3 == 0 ? "127.0.0.9" : "127.0.0.1", text});
    }
    collector.WaitFor(expected.size());
  }
  const auto got = collector.WaitFor(expected.size());
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].bytes, expected[i].bytes) << i;
    EXPECT_EQ(got[i].peer, expected[i].peer) << i;
  }
  EXPECT_EQ(collector.MaxInFlight(), 1);
}

TEST(UdpServer, DatagramsUpTo8192BytesArriveWhole) {
  Collector collector;
  UdpServer server(Loopback(), [&](const std::string& peer, std::span<const std::uint8_t> data) {
    collector.Add(peer, data);
  });
  server.Start();
  UdpTestSocket client;
  std::vector<std::uint8_t> largest(8192);
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<std::uint8_t>(i * 7 + 3);
  std::vector<std::uint8_t> longer(9000, 0x5A);
  client.SendTo(server.Port(), largest);
  client.SendTo(server.Port(), longer);
  client.SendTo(server.Port(), std::vector<std::uint8_t>{});
  const auto got = collector.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].bytes, std::string(largest.begin(), largest.end()));
  EXPECT_EQ(got[1].bytes, std::string(8192, '\x5A'));  // cut to the buffer, never beyond it
  EXPECT_EQ(got[2].bytes, "");
}

TEST(UdpServer, AnExceptionDropsOnlyItsDatagram) {
  Collector collector;
  UdpServer server(Loopback(), [&](const std::string& peer, std::span<const std::uint8_t> data) {
    const std::string text(data.begin(), data.end());
    if (text == "boom") throw std::runtime_error("bad datagram");
    if (text == "boom!") throw 42;
    collector.Add(peer, data);
  });
  server.Start();
  UdpTestSocket client;
  for (const char* text : {"one", "boom", "two", "boom!", "three"}) client.SendTo(server.Port(), text);
  const auto got = collector.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].bytes, "one");
  EXPECT_EQ(got[1].bytes, "two");
  EXPECT_EQ(got[2].bytes, "three");
}

TEST(UdpServer, AnswersGoToTheSendersAddressOnTheAnswerPort) {
  UdpTestSocket answers("127.0.0.1");
  UdpTestSocket otherAnswers("127.0.0.9", answers.Port());
  UdpServer* self = nullptr;
  UdpServer server(Loopback(answers.Port()),
                   [&](const std::string& peer, std::span<const std::uint8_t> data) {
                     self->SendAnswer(peer, std::string(data.begin(), data.end()) + "!");
                   });
  self = &server;
  server.Start();

  UdpTestSocket client("127.0.0.1"), other("127.0.0.9");
  client.SendTo(server.Port(), "ok");
  const auto answer = answers.Receive();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes, "ok!");
  EXPECT_EQ(answer->fromAddress, "127.0.0.1");
  EXPECT_NE(answer->fromPort, server.Port());  // answers go out from a socket of their own
  // The one answer went to the answer port, not to the datagram's source port.
  EXPECT_FALSE(client.Receive(0ms));

  other.SendTo(server.Port(), "hi");
  const auto second = otherAnswers.Receive();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->bytes, "hi!");
  EXPECT_FALSE(other.Receive(0ms));
  EXPECT_FALSE(answers.Receive(0ms));

  EXPECT_THROW(server.SendAnswer("not an address", "x"), std::system_error);
}

TEST(UdpServer, StopWaitsForTheRunningHandlerAndNeverHangs) {
  std::promise<void> entered, release;
  auto released = release.get_future();
  std::atomic<bool> handlerDone{false};
  auto server =
      std::make_unique<UdpServer>(Loopback(), [&](const std::string&, std::span<const std::uint8_t>) {
        entered.set_value();
        released.wait_for(10s);
        handlerDone = true;
      });
  server->Start();
  UdpTestSocket client;
  client.SendTo(server->Port(), "x");
  for (int i = 0; i < 100; ++i) client.SendTo(server->Port(), "queued");  // never handled
  ASSERT_EQ(entered.get_future().wait_for(10s), std::future_status::ready);
  auto stopped = std::async(std::launch::async, [&] {
    server->Stop();
    return handlerDone.load();
  });
  release.set_value();
  ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(stopped.get());  // Stop returned only after the handler had
  server->Stop();              // a second Stop does nothing
  server.reset();

  // Idle servers stop at once, and a server that never started stops too.
  UdpServer idle(Loopback(), [](const std::string&, std::span<const std::uint8_t>) {});
  idle.Start();
  auto idleStopped = std::async(std::launch::async, [&] { idle.Stop(); });
  EXPECT_EQ(idleStopped.wait_for(10s), std::future_status::ready);
  UdpServer never(Loopback(), [](const std::string&, std::span<const std::uint8_t>) {});
  never.Stop();
}

TEST(UdpServer, StartFailsWhenTheAddressCannotBeBound) {
  UdpServerOptions o = Loopback();
  o.address = "192.0.2.1";  // not an address of this machine
  UdpServer server(o, [](const std::string&, std::span<const std::uint8_t>) {});
  try {
    server.Start();
    ADD_FAILURE() << "started on an address of another machine";
  } catch (const std::system_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("UDP port " + std::to_string(o.port) + ": ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace fernpad::net
