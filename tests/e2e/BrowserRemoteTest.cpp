#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/keysym.h>

#include <chrono>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Desktop.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"
#include "Xvfb.h"
#include "settings/OptionsStore.h"
#include "settings/WebRemoteSettings.h"

extern char** environ;

namespace fernpad::test {
namespace {

using namespace std::chrono_literals;

// A phone's browser showing the browser remote: headless Chromium driven through tests/e2e/browser/
// drive_page.py, one command a line (see there). Chromium runs without the test's display.
class Phone {
 public:
  Phone() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> args{FERNPAD_BROWSER_PYTHON, FERNPAD_DRIVE_PAGE};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("DISPLAY=", 0) != 0) envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    if (rc != 0) pid_ = -1;
    greeting_ = pid_ > 0 ? Answer(60s) : "cannot start " + args[0];
  }
  ~Phone() {
    Send("quit");
    close(to_);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(20ms);
    }
    close(from_);
  }
  Phone(const Phone&) = delete;
  Phone& operator=(const Phone&) = delete;

  // "ready", "unavailable: WHY" (no Chromium or no driver), or what went wrong.
  const std::string& Greeting() const { return greeting_; }

  // Runs one command; its answer, or "error: ..." (also when no answer comes in time).
  std::string Do(const std::string& command) {
    Send(command);
    return Answer(30s);
  }

 private:
  void Send(const std::string& command) {
    const std::string line = command + "\n";
    if (write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return;
  }
  std::string Answer(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{from_, POLLIN, 0};
      char chunk[4096];
      ssize_t n = 0;
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
          (n = read(from_, chunk, sizeof chunk)) <= 0)
        return "error: no answer from the browser";
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return line;
  }

  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string buffer_;
  std::string greeting_;
};

std::string NewToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 32; ++i) token += "0123456789abcdef"[random() % 16];
  return token;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

std::string DotGeometry(int x, int y) {
  return " 16x16+" + std::to_string(x) + "+" + std::to_string(y) + " ";
}

class BrowserRemote : public ::testing::Test {
 protected:
  void SetUp() override {
    phone = std::make_unique<Phone>();
    if (phone->Greeting().rfind("unavailable: ", 0) == 0)
      GTEST_SKIP() << "no browser to drive the page (" << phone->Greeting().substr(13) << ")";
    ASSERT_EQ(phone->Greeting(), "ready");
  }

  // The server on its own display with the browser remote on and a token the test knows; any options.
  void Start(ServerProcess::Options options = {}) {
    xvfb = std::make_unique<Xvfb>("1920x1080x24");
    auto prepare = options.prepare;
    options.prepare = [this, prepare](const std::string& configDir) {
      if (prepare) prepare(configDir);
      settings::SaveWebRemoteSettings(settings::WebRemoteSettingsPath(configDir + "/option.dat"),
                                      {.enabled = true, .keepAddress = true, .token = token});
    };
    options.extraArgs.push_back("--web-remote");
    server = std::make_unique<ServerProcess>(FERNPAD_SERVER_BINARY, xvfb->Display(), options);
    ASSERT_NE(server->WebPort(), 0);
  }
  // Opens the page with the address's secret part as given and waits for its status.
  void OpenPage(const std::string& withToken, const std::string& state) {
    ASSERT_EQ(phone->Do("open http://127.0.0.1:" + std::to_string(server->WebPort()) + "/#" + withToken),
              "ok");
    const std::string shown = phone->Do("wait-state " + state);
    ASSERT_EQ(shown.rfind(state, 0), 0u) << shown;
  }
  // The touchpad's size in CSS pixels.
  std::pair<double, double> Pad() {
    double w = 0, h = 0;
    std::istringstream(phone->Do("pad")) >> w >> h;
    return {w, h};
  }
  PointerLocation Pointer() { return ReadPointer(xvfb->Display()); }
  PointerLocation Centre() {
    Curl(server->HttpPort(), "/?x:0&y:0&a=a");
    return Pointer();
  }
  bool DotAt(int x, int y) {
    return WaitUntil([&] {
      return RunWithDisplay(xvfb->Display(), "xwininfo -root -children").find(DotGeometry(x, y)) !=
             std::string::npos;
    });
  }

  const std::string token = NewToken();
  std::unique_ptr<Phone> phone;
  std::unique_ptr<Xvfb> xvfb;
  std::unique_ptr<ServerProcess> server;
};

// The finger's moves reach the pointer with the acceleration the handheld's moves get: the pointer ends
// where the page's move messages, sent as the handheld's "a=m" requests, take it from the same start.
TEST_F(BrowserRemote, TouchpadDragMovesThePointerAsTheHandheldsMovesDo) {
  Start();
  OpenPage(token, "Connected");
  const PointerLocation start = Centre();
  // Each step is a frame of its own and most exceed the acceleration's first threshold.
  const PointerLocation steps[] = {{30, 12}, {45, -20}, {25, 35}, {60, 5}, {4, -3}};
  PointerLocation finger{60, 100}, path{0, 0};
  ASSERT_EQ(phone->Do("down " + std::to_string(finger.x) + " " + std::to_string(finger.y)), "ok");
  for (const PointerLocation& step : steps) {
    finger = {finger.x + step.x, finger.y + step.y};
    path = {path.x + step.x, path.y + step.y};
    ASSERT_EQ(phone->Do("move " + std::to_string(finger.x) + " " + std::to_string(finger.y)), "ok");
  }
  ASSERT_EQ(phone->Do("up"), "ok");
  ASSERT_EQ(phone->Do("sync"), "ok");
  const PointerLocation viaPage = Pointer();

  double sumX = 0, sumY = 0;
  std::vector<std::string> moves;
  for (const std::string& message : Split(phone->Do("sent"), '\t')) {
    double dx = 0, dy = 0;
    if (std::sscanf(message.c_str(), "m %lf %lf", &dx, &dy) != 2) continue;
    sumX += dx;
    sumY += dy;
    moves.push_back("/?x:" + message.substr(2, message.find(' ', 2) - 2) +
                    "&y:" + message.substr(message.find(' ', 2) + 1) + "&a=m");
  }
  EXPECT_EQ(sumX, path.x);  // the page reports the finger's whole way
  EXPECT_EQ(sumY, path.y);
  EXPECT_GT(viaPage.x - start.x, path.x);  // accelerated

  Centre();
  for (const std::string& move : moves) Curl(server->HttpPort(), move);
  EXPECT_EQ(viaPage, Pointer()) << moves.size() << " moves";
}

// A tap clicks. Wall-clock timing decides whether a touch is a tap, so a machine too slow to deliver the lift
// within a tap's time gets another go.
TEST_F(BrowserRemote, TapClicksTheLeftButton) {
  Start();
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  OpenPage(token, "Connected");
  const auto [w, h] = Pad();
  bool clicked = false;
  for (int attempt = 0; attempt < 3 && !clicked; ++attempt) {
    window.Clear();
    ASSERT_EQ(phone->Do("tap " + std::to_string(w / 2) + " " + std::to_string(h / 2)), "ok");
    clicked = WaitUntil([&] { return window.Collect(), window.Buttons() == "+1 -1"; }, 3s);
  }
  EXPECT_TRUE(clicked) << window.Buttons();
}

TEST_F(BrowserRemote, TypedTextAndKeyButtonsReachTheFocusedWindow) {
  Start();
  XEventRecorder window(xvfb->Display(), 0, 0, 400, 300);
  OpenPage(token, "Connected");
  ASSERT_EQ(phone->Do("type Hi!"), "ok");
  ASSERT_EQ(phone->Do("click [data-k=\"13\"]"), "ok");
  ASSERT_EQ(phone->Do("sync"), "ok");
  std::vector<unsigned long> pressed;
  for (const auto& e : window.Collect())
    if (e.type == KeyPress) pressed.push_back(e.keysym);
  EXPECT_EQ(window.TypedText().substr(0, 3), "Hi!");
  ASSERT_FALSE(pressed.empty());
  EXPECT_EQ(pressed.back(), static_cast<unsigned long>(XK_Return));
}

// In presenter mode the dot appears where the finger is on the pad, as a fraction of the screen.
TEST_F(BrowserRemote, PresenterDotFollowsTheFinger) {
  ServerProcess::Options options;
  options.headless = false;
  Start(options);
  OpenPage(token, "Connected");
  ASSERT_EQ(phone->Do("click #mode"), "ok");
  const auto [w, h] = Pad();
  ASSERT_EQ(phone->Do("down " + std::to_string(w / 4) + " " + std::to_string(h * 3 / 4)), "ok");
  EXPECT_TRUE(DotAt(1920 / 4 - 8, 1080 * 3 / 4 - 8))
      << RunWithDisplay(xvfb->Display(), "xwininfo -root -children");
  ASSERT_EQ(phone->Do("move " + std::to_string(w / 2) + " " + std::to_string(h / 2)), "ok");
  EXPECT_TRUE(DotAt(1920 / 2 - 8, 1080 / 2 - 8))
      << RunWithDisplay(xvfb->Display(), "xwininfo -root -children");
  ASSERT_EQ(phone->Do("up"), "ok");
}

// Whoever lacks the address's secret gets no socket: the page says so, and its touches reach nothing.
TEST_F(BrowserRemote, WrongTokenGetsNoControl) {
  Start();
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  const PointerLocation start = Centre();
  OpenPage(NewToken(), "Not admitted");
  for (const char* touch : {"down 50 50", "move 90 80", "up", "down 50 50", "up"}) phone->Do(touch);
  EXPECT_EQ(phone->Do("sent").find("opened"), std::string::npos);
  EXPECT_EQ(Pointer(), start);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "");
}

// A page of another site, even with the right token, gets no socket.
TEST_F(BrowserRemote, PageOfAnotherOriginIsRefused) {
  Start();
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  const PointerLocation start = Centre();
  EXPECT_EQ(phone->Do("foreign ws://127.0.0.1:" + std::to_string(server->WebPort()) + "/ws?t=" + token),
            "refused");
  EXPECT_EQ(Pointer(), start);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "");
}

// A device on the denied list is not even given the page.
TEST_F(BrowserRemote, DeniedDeviceGetsNotEvenThePage) {
  ServerProcess::Options options;
  options.allowLoopback = false;
  options.prepare = [](const std::string& configDir) {
    settings::OptionsStore store(configDir + "/option.dat", nullptr, "/tmp/");
    settings::Options o;
    o.DeniedHosts = {"127.0.0.1"};
    store.SaveOptions(o);
  };
  Start(options);
  ASSERT_EQ(phone->Do("open http://127.0.0.1:" + std::to_string(server->WebPort()) + "/#" + token), "ok");
  EXPECT_EQ(phone->Do("has #pad"), "no");
}

}  // namespace
}  // namespace fernpad::test
