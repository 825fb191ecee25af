#include "Xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace fernpad::test {
namespace {

bool DisplayInUse(int n) {
  struct stat st {};
  const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
  const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
  return stat(lock.c_str(), &st) == 0 || stat(sock.c_str(), &st) == 0;
}

}  // namespace

Xvfb::Xvfb(const std::string& screen, const std::string& extraArgs) {
  // Spread parallel test processes over different numbers; Xvfb itself refuses a number in use.
  int start = 100 + static_cast<int>(getpid() % 400);
  for (int attempt = 0; attempt < 50 && pid_ < 0; ++attempt) {
    const int n = start + attempt;
    if (DisplayInUse(n)) continue;
    char name[16];
    std::snprintf(name, sizeof name, ":%d", n);  // GCC 12 warns wrongly (-Wrestrict) on ":" + string at -O3
    display_ = name;
    std::vector<std::string> args = {"Xvfb", display_,  "-noreset", "-nolisten",
                                     "tcp",  "-screen", "0",        screen};
    std::istringstream extra(extraArgs);
    for (std::string a; extra >> a;) args.push_back(a);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start Xvfb (is it installed?)");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) break;  // lost the race for this number
      if (::Display* d = XOpenDisplay(display_.c_str())) {
        XCloseDisplay(d);
        pid_ = pid;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ < 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  if (pid_ < 0) throw std::runtime_error("Xvfb did not come up");
}

Xvfb::~Xvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

PointerLocation ReadPointer(const std::string& display) {
  const std::string out = RunWithDisplay(display, "xdotool getmouselocation --shell");
  PointerLocation p;
  if (std::sscanf(out.c_str(), "X=%d\nY=%d", &p.x, &p.y) != 2) return {};
  return p;
}

std::string RunWithDisplay(const std::string& display, const std::string& command, int* status) {
  const std::string full = "DISPLAY=" + display + "; export DISPLAY; " + command;
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) throw std::runtime_error("popen failed");
  std::string out;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

}  // namespace fernpad::test
