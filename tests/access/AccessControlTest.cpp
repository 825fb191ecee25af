#include "access/AccessControl.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <thread>

namespace fernpad::access {
namespace {

using namespace std::chrono_literals;

// A person who answers the security question as scripted; can be told to wait before answering.
class ScriptedUi : public NullUi {
 public:
  std::optional<bool> AskAllowHost(const std::string& address) override {
    std::unique_lock lock(mutex);
    asked.push_back(address);
    changed.notify_all();
    changed.wait(lock, [&] { return !holdAnswer; });
    return answer;
  }
  void HostListsChanged() override { ++refreshes; }

  void Release() {
    std::lock_guard lock(mutex);
    holdAnswer = false;
    changed.notify_all();
  }
  bool WaitUntilAsked(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return asked.size() >= count; });
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> asked;
  std::optional<bool> answer = true;
  bool holdAnswer = false;
  int refreshes = 0;
};

class AccessTest : public ::testing::Test {
 protected:
  AccessTest() {
    settings.SetSaveHook([this](const settings::Options& o) {
      ++saves;
      saved = o;
    });
    access.SetClock([this] { return now.load(); });
  }
  // Past the least time between two questions.
  void NextQuestionDue() { now = now.load() + AccessControl::kQuestionGap; }
  void SetLists(std::vector<std::string> allowed, std::vector<std::string> denied, bool disabled = false) {
    settings::Options o;
    o.AllowedHosts = std::move(allowed);
    o.DeniedHosts = std::move(denied);
    o.DisableAccessControl = disabled;
    settings.Load(o);
  }
  settings::LiveSettings settings;
  ScriptedUi ui;
  AccessControl access{settings, ui};
  std::atomic<AccessControl::Clock::time_point> now{AccessControl::Clock::time_point{} + 24h};
  int saves = 0;
  settings::Options saved;
};

TEST_F(AccessTest, ListsDecideWithoutAsking) {
  SetLists({"10.0.0.1", "10.0.0.3"}, {"10.0.0.2", "10.0.0.3"});
  EXPECT_TRUE(access.CheckAccess("10.0.0.1"));
  EXPECT_FALSE(access.CheckAccess("10.0.0.2"));
  EXPECT_TRUE(access.CheckAccess("10.0.0.3"));  // on both lists: allowed wins
  EXPECT_TRUE(ui.asked.empty());
  EXPECT_EQ(saves, 0);
}

TEST_F(AccessTest, DisabledAccessControlLetsEveryoneInEvenTheDenied) {
  SetLists({}, {"10.0.0.2"}, true);
  EXPECT_TRUE(access.CheckAccess("10.0.0.2"));
  EXPECT_TRUE(access.CheckAccess("192.168.7.7"));
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(AccessTest, AddressesMatchWholeNotByPrefix) {
  SetLists({"10.0.0.12"}, {});
  ui.answer = false;
  EXPECT_FALSE(access.CheckAccess("10.0.0.1"));  // one digit shorter: unknown, so asked
  EXPECT_EQ(ui.asked, std::vector<std::string>{"10.0.0.1"});
}

TEST_F(AccessTest, YesAllowsFromTheNextRequestOnAndSaves) {
  EXPECT_FALSE(access.CheckAccess("10.0.0.7"));  // the request that raised the prompt is not carried out
  EXPECT_EQ(ui.asked, std::vector<std::string>{"10.0.0.7"});
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(saved.AllowedHosts, std::vector<std::string>{"10.0.0.7"});
  EXPECT_TRUE(saved.DeniedHosts.empty());
  EXPECT_EQ(ui.refreshes, 1);
  EXPECT_FALSE(access.PromptOpen());
  EXPECT_TRUE(access.CheckAccess("10.0.0.7"));
  EXPECT_EQ(ui.asked.size(), 1u);
}

TEST_F(AccessTest, NoDeniesForGoodUntilDeleted) {
  SetLists({"10.0.0.1"}, {});
  ui.answer = false;
  EXPECT_FALSE(access.CheckAccess("10.0.0.8"));
  EXPECT_EQ(saved.DeniedHosts, std::vector<std::string>{"10.0.0.8"});
  EXPECT_EQ(saved.AllowedHosts, std::vector<std::string>{"10.0.0.1"});  // appended, others kept
  EXPECT_FALSE(access.CheckAccess("10.0.0.8"));
  EXPECT_EQ(ui.asked.size(), 1u);
  settings.Change([](settings::Options& o) { DeleteSelected(o.DeniedHosts, {0}); });
  ui.answer = true;
  NextQuestionDue();
  EXPECT_FALSE(access.CheckAccess("10.0.0.8"));  // asked again
  EXPECT_EQ(ui.asked.size(), 2u);
  EXPECT_TRUE(access.CheckAccess("10.0.0.8"));
}

TEST_F(AccessTest, OnePromptAtATimeWhileTheListedAreServed) {
  SetLists({"10.0.0.1"}, {"10.0.0.2"});
  ui.holdAnswer = true;
  auto first = std::async(std::launch::async, [&] { return access.CheckAccess("10.0.0.5"); });
  ASSERT_TRUE(ui.WaitUntilAsked(1));
  EXPECT_TRUE(access.PromptOpen());
  // Devices on a list are answered from it while the question about another one is open.
  EXPECT_TRUE(access.CheckAccess("10.0.0.1"));
  EXPECT_FALSE(access.CheckAccess("10.0.0.2"));
  // A second unknown device, and the same one again, get no prompt of their own.
  EXPECT_FALSE(access.CheckAccess("10.0.0.6"));
  EXPECT_FALSE(access.CheckAccess("10.0.0.5"));
  ui.Release();
  EXPECT_FALSE(first.get());
  EXPECT_EQ(ui.asked, std::vector<std::string>{"10.0.0.5"});
  EXPECT_EQ(saved.AllowedHosts, (std::vector<std::string>{"10.0.0.1", "10.0.0.5"}));
  EXPECT_FALSE(access.PromptOpen());
}

TEST_F(AccessTest, ManyUnknownDevicesAtOnceRaiseOnePromptAndLandOnOneListEach) {
  ui.holdAnswer = true;
  std::vector<std::future<bool>> calls;
  for (int i = 0; i < 8; ++i)
    calls.push_back(std::async(std::launch::async,
                               [&, i] { return access.CheckAccess("10.0.1." + std::to_string(i % 2)); }));
  ASSERT_TRUE(ui.WaitUntilAsked(1));
  // Every other call finds the prompt open and is refused at once, without a prompt of its own.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  int finished = 0;
  while (finished < 7 && std::chrono::steady_clock::now() < deadline) {
    finished = 0;
    for (auto& c : calls) finished += c.wait_for(1ms) == std::future_status::ready ? 1 : 0;
  }
  EXPECT_EQ(finished, 7);
  ui.Release();
  for (auto& c : calls) EXPECT_FALSE(c.get());
  EXPECT_EQ(ui.asked.size(), 1u);
  const auto o = settings.Get();
  EXPECT_EQ(o.AllowedHosts.size() + o.DeniedHosts.size(), 1u);
}

TEST_F(AccessTest, QuestionsAreSpacedAndUnansweredOnesLeaveNoTrace) {
  ui.answer = std::nullopt;  // nobody there to answer
  EXPECT_FALSE(access.CheckAccess("10.0.0.5"));
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(ui.refreshes, 0);
  EXPECT_EQ(settings.Get().DeniedHosts.size(), 0u);
  // Within the gap a new address is refused without a question and without a trace.
  ui.answer = false;
  EXPECT_FALSE(access.CheckAccess("10.0.0.6"));
  EXPECT_EQ(ui.asked, std::vector<std::string>{"10.0.0.5"});
  EXPECT_EQ(saves, 0);
  NextQuestionDue();
  EXPECT_FALSE(access.CheckAccess("10.0.0.6"));
  EXPECT_EQ(ui.asked, (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
  EXPECT_EQ(saved.DeniedHosts, std::vector<std::string>{"10.0.0.6"});  // a person's No is remembered
}

TEST_F(AccessTest, AskingInTheBackgroundReturnsAtOnceAndAppliesTheAnswerLater) {
  ui.holdAnswer = true;
  EXPECT_FALSE(access.CheckAccess("10.0.0.5", Asking::InBackground));
  ASSERT_TRUE(ui.WaitUntilAsked(1));
  EXPECT_TRUE(access.PromptOpen());
  EXPECT_FALSE(access.CheckAccess("10.0.0.5", Asking::InBackground));  // still open: no second question
  ui.Release();
  access.Stop();
  EXPECT_FALSE(access.PromptOpen());
  EXPECT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(saved.AllowedHosts, std::vector<std::string>{"10.0.0.5"});
  EXPECT_TRUE(access.CheckAccess("10.0.0.5", Asking::InBackground));
}

TEST(DeleteSelected, RemovesTheSelectedLinesAndKeepsTheOrder) {
  std::vector<std::string> list{"a", "b", "c", "d"};
  DeleteSelected(list, {2, 0});
  EXPECT_EQ(list, (std::vector<std::string>{"b", "d"}));
  DeleteSelected(list, {});
  EXPECT_EQ(list, (std::vector<std::string>{"b", "d"}));
  DeleteSelected(list, {1, 1, 7, -1});
  EXPECT_EQ(list, std::vector<std::string>{"b"});
}

TEST(PromptText, IsTheSecurityQuestion) {
  EXPECT_EQ(PromptText("192.168.0.12"),
            "The device with the IP 192.168.0.12 wants to control the PC. Allow?");
}

}  // namespace
}  // namespace fernpad::access
