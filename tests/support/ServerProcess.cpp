#include "ServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <thread>

#include "ProcInfo.h"

extern char** environ;

namespace fernpad::test {
namespace {

bool ReadSome(int fd, std::string& into, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char buf[4096];
  const ssize_t n = read(fd, buf, sizeof buf);
  if (n <= 0) return false;
  into.append(buf, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& binary, const std::string& display, const Options& options) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  char dirTemplate[] = "/tmp/fernpad-e2e-XXXXXX";
  if (!mkdtemp(dirTemplate)) throw std::runtime_error("mkdtemp");
  home_ = dirTemplate;
  std::filesystem::create_directories(home_ + "/config");
  if (options.prepare) options.prepare(home_ + "/config");
  std::vector<std::string> args = {binary, "--headless",   "--http-port",
                                   "0",    "--config-dir", home_ + "/config"};
  if (options.verbose) args.insert(args.begin() + 2, "--verbose");
  // Tests run side by side: none takes the real port.
  args.insert(args.end(), {"--udp-port", "0", "--upload-port", "0", "--web-port", "0"});
  if (options.allowLoopback) args.insert(args.end(), {"--allow", "127.0.0.1"});
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
  if (!options.headless) args.erase(args.begin() + 1);  // "--headless"
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  const auto overridden = [&](const std::string& entry) {
    for (const std::string& extra : options.extraEnv)
      if (entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0) return true;
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0 && std::string(*e).rfind("XDG_", 0) != 0 &&
        std::string(*e).rfind("WAYLAND_DISPLAY=", 0) !=
            0 &&          // the X11 backend, whatever session runs the tests
        !overridden(*e))  // e.g. the session bus of the desktop a test starts, not the one running the tests
      env.emplace_back(*e);
  env.push_back("DISPLAY=" + display);
  env.insert(env.end(), options.extraEnv.begin(), options.extraEnv.end());
  // Autostart entries and data files go into the test's own folder.
  env.push_back("XDG_CONFIG_HOME=" + home_ + "/xdg-config");
  env.push_back("XDG_DATA_HOME=" + home_ + "/xdg-data");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, home_.c_str());  // the program starts in the test's folder
  // Nothing else of this process's: its sockets would show among the server's own.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  stdoutFd_ = out[0];
  stderrFd_ = err[0];
  if (rc != 0) throw std::runtime_error("cannot start " + binary);

  auto fail = [this](const std::string& why) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    close(stderrFd_);
    throw std::runtime_error("the server did not start: " + why);
  };
  std::string err_text;
  const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
  if (options.verbose) {
    // With the browser remote on, its port is logged last.
    const bool web = std::find(args.begin(), args.end(), "--web-remote") != args.end();
    const std::regex portLine(web ? R"(browser remote on TCP port (\d+))" : R"(HTTP port (\d+))");
    std::smatch m;
    while (!std::regex_search(err_text, m, portLine)) {
      if (std::chrono::steady_clock::now() > deadline ||
          (!ReadSome(stderrFd_, err_text, 200) && waitpid(pid_, nullptr, WNOHANG) == pid_))
        fail(err_text);
    }
    if (web) webPort_ = std::stoi(m[1]);
    std::regex_search(err_text, m, std::regex(R"(HTTP port (\d+))"));
    port_ = std::stoi(m[1]);
    if (std::regex_search(err_text, m, std::regex(R"(photos on TCP port (\d+))")))
      uploadPort_ = std::stoi(m[1]);
    if (std::regex_search(err_text, m, std::regex(R"(datagrams on UDP port (\d+))")))
      udpPort_ = std::stoi(m[1]);
  } else {
    // Nothing is logged: the ports are read from the process's sockets. The server opens the datagram
    // socket first, then the upload listener, then the HTTP listener, then the browser remote's when it is
    // on (the last, so once it is there all are); each takes the lowest free descriptor and none is closed
    // in between, so they are in descriptor order.
    const bool web = std::find(args.begin(), args.end(), "--web-remote") != args.end();
    const std::size_t expected = web ? 3 : 2;
    while (true) {
      std::vector<int> listeners;
      int udp = 0;
      for (const ProcSocket& s : SocketsOf(pid_)) {
        if (s.tcp && s.listening) listeners.push_back(s.port);
        if (!s.tcp && s.port != 0 && udp == 0) udp = s.port;
      }
      if (listeners.size() == expected && udp != 0) {
        uploadPort_ = listeners[0];
        port_ = listeners[1];
        if (web) webPort_ = listeners[2];
        udpPort_ = udp;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) fail(err_text);
      if (!ReadSome(stderrFd_, err_text, 10)) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) fail(err_text);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
  startLog_ = err_text;
  // Keep draining stderr so a verbose server never blocks on a full pipe.
  std::thread([fd = stderrFd_] {
    std::string sink;
    while (true) {
      sink.clear();
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, -1) <= 0) break;
      char buf[4096];
      if (read(fd, buf, sizeof buf) <= 0) break;
    }
    close(fd);
  }).detach();
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) Stop();
  if (stdoutFd_ >= 0) close(stdoutFd_);
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
}

int ServerProcess::Stop(std::chrono::seconds timeout) {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ServerProcess::Stdout(std::size_t minBytes, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (ReadSome(stdoutFd_, out_, 0)) {
  }
  while (out_.size() < minBytes && std::chrono::steady_clock::now() < deadline) ReadSome(stdoutFd_, out_, 50);
  return out_;
}

std::string Curl(int port, const std::string& pathAndQuery) {
  const std::string command =
      "curl -s -i --max-time 20 'http://127.0.0.1:" + std::to_string(port) + pathAndQuery + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string out;
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  pclose(pipe);
  return out;
}

}  // namespace fernpad::test
