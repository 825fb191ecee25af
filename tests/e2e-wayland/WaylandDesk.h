#pragma once

// A headless sway and a full-screen window on it that logs what reaches it, for the tests of the wlroots
// backend.
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace fernpad::test {

using namespace std::chrono_literals;

// Whether sway can be started here.
inline bool SwayInstalled() {
  return std::system("command -v sway >/dev/null 2>&1") == 0;
}

// A process started in a process group of its own, ended with the group.
class Child {
 public:
  Child(std::vector<std::string> args, const std::vector<std::string>& env, int stdinFd, int stdoutFd,
        int stderrFd = -1) {
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    for (auto& e : envCopy) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    if (stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    const int rc = posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  }
  ~Child() {
    kill(-pid_, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(100'000);
    if (waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

 private:
  pid_t pid_ = -1;
};

// Headless sway with one 1920x1080 output. sway refuses to run as root: as root it runs as "nobody".
class Sway {
 public:
  Sway() {
    char dir[] = "/tmp/fernpad-sway-XXXXXX";
    if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp");
    dir_ = dir;
    std::ofstream(dir_ + "/config") << "output HEADLESS-1 mode 1920x1080\ndefault_border none\n";
    std::vector<std::string> args;
    if (geteuid() == 0) {
      const passwd* nobody = getpwnam("nobody");
      if (!nobody || chown(dir, nobody->pw_uid, nobody->pw_gid) != 0)
        throw std::runtime_error("no account 'nobody' to run sway as");
      args = {"runuser", "-u", "nobody", "--"};
    }
    args.insert(args.end(),
                {"env", "-i", "HOME=" + dir_, "XDG_RUNTIME_DIR=" + dir_, "WLR_BACKENDS=headless",
                 "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c", dir_ + "/config"});
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    process_ = std::make_unique<Child>(args, std::vector<std::string>(environ, environ + CountEnv()), -1,
                                       devNull, devNull);
    close(devNull);
    for (int i = 0; i < 100 && socket_.empty(); ++i) {
      for (const auto& e : std::filesystem::directory_iterator(dir_))
        if (e.is_socket() && e.path().filename().string().rfind("wayland-", 0) == 0) socket_ = e.path();
      if (socket_.empty()) usleep(100'000);
    }
    if (socket_.empty()) throw std::runtime_error("sway did not start");
  }
  ~Sway() {
    process_.reset();
    std::filesystem::remove_all(dir_);
  }
  const std::string& Socket() const { return socket_; }

 private:
  static std::size_t CountEnv() {
    std::size_t n = 0;
    while (environ[n]) ++n;
    return n;
  }
  std::string dir_, socket_;
  std::unique_ptr<Child> process_;
};

// The event-logging window; its lines are read with a deadline.
class EventLog {
 public:
  EventLog(const std::string& socket, const std::string& colour) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> env = {"WAYLAND_DISPLAY=" + socket};
    process_ = std::make_unique<Child>(std::vector<std::string>{FERNPAD_WAYLAND_EVENT_LOG, colour}, env,
                                       in[0], out[1]);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~EventLog() {
    close(stdin_);
    process_.reset();
    close(stdout_);
  }
  // Waits until a line equal to `line` arrives; false after the timeout. Lines before it are dropped.
  bool WaitFor(const std::string& line, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
        const std::string got = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        seen_ += got + "\n";
        if (got == line) return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char b[4096];
      const ssize_t n = read(stdout_, b, sizeof b);
      if (n <= 0) return false;
      buffer_.append(b, static_cast<std::size_t>(n));
    }
  }
  // Every line read so far (for failure messages).
  const std::string& Seen() const { return seen_; }

 private:
  std::unique_ptr<Child> process_;
  int stdin_ = -1, stdout_ = -1;
  std::string buffer_, seen_;
};

}  // namespace fernpad::test
