#include "UpdaterFixtures.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fernpad::updater::testing {
namespace fs = std::filesystem;
namespace {

struct Spawned {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

Spawned Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::vector<std::string>& unset) {
  std::vector<std::string> names = unset;
  for (const char* proxy :
       {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    names.emplace_back(proxy);
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool keep = true;
    for (const auto& name : names) keep = keep && entry.rfind(name + "=", 0) != 0;
    if (keep) environment.push_back(entry);
  }
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);

  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  Spawned s;
  const int rc = posix_spawn(&s.pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  s.out = out[0];
  s.err = err[0];
  if (rc != 0) {
    close(s.out);
    close(s.err);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  return s;
}

// Reads from the descriptors until both are closed or the deadline passes; false on the deadline.
bool Drain(int out, int err, std::string& outText, std::string& errText,
           std::chrono::steady_clock::time_point deadline, const std::string* stopAfterLines = nullptr) {
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (stopAfterLines) {
      const auto at = outText.find(*stopAfterLines);
      if (at != std::string::npos && outText.find('\n', at) != std::string::npos) return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? outText : errText).append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  return true;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::vector<std::string>& unset) {
  const Spawned s = Spawn(argv, env, unset);
  ProgramResult result;
  const bool ended =
      Drain(s.out, s.err, result.out, result.err, std::chrono::steady_clock::now() + std::chrono::minutes(1));
  if (!ended) kill(s.pid, SIGKILL);
  close(s.out);
  close(s.err);
  int status = 0;
  waitpid(s.pid, &status, 0);
  result.exitCode = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

KeyPair MakeKeyPair(const fs::path& folder, const std::string& name) {
  KeyPair key{"", folder / (name + ".key")};
  const fs::path pub = folder / (name + ".pub");
  const auto r =
      RunProgram({FERNPAD_MINISIGN, "-G", "-f", "-W", "-p", pub.string(), "-s", key.secretKey.string()});
  if (r.exitCode != 0) throw std::runtime_error("minisign -G: " + r.err);
  std::istringstream lines(ReadText(pub));
  std::getline(lines, key.publicLine);  // the untrusted comment
  std::getline(lines, key.publicLine);
  return key;
}

std::string Sign(const fs::path& file, const KeyPair& key, const std::string& trustedComment, bool legacy) {
  const fs::path signature = file.string() + ".made.minisig";
  std::vector<std::string> argv = {
      FERNPAD_MINISIGN, "-S", "-s",         key.secretKey.string(), "-x", signature.string(), "-t",
      trustedComment,   "-m", file.string()};
  if (legacy) argv.insert(argv.begin() + 1, "-l");
  const auto r = RunProgram(argv);
  if (r.exitCode != 0) throw std::runtime_error("minisign -S: " + r.err);
  std::string text = ReadText(signature);
  fs::remove(signature);
  return text;
}

UpdateServer::UpdateServer(const fs::path& root, const fs::path& logFile, const Options& options) {
  std::vector<std::string> argv = {FERNPAD_PYTHON3, FERNPAD_UPDATE_SERVER_SCRIPT, root.string(), "--log",
                                   logFile.string()};
  if (!options.tlsFolder.empty()) argv.insert(argv.end(), {"--tls", options.tlsFolder.string()});
  if (!options.proxyCredentials.empty()) argv.insert(argv.end(), {"--proxy", options.proxyCredentials});
  const Spawned s = Spawn(argv, {}, {});
  pid_ = s.pid;
  std::string out, err;
  const std::string until = options.proxyCredentials.empty() ? "server " : "proxy ";
  Drain(s.out, s.err, out, err, std::chrono::steady_clock::now() + std::chrono::seconds(30), &until);
  close(s.out);
  close(s.err);
  std::istringstream lines(out);
  std::string word;
  int port = 0;
  while (lines >> word >> port) (word == "server" ? port_ : proxyPort_) = port;
  if (port_ == 0 || (!options.proxyCredentials.empty() && proxyPort_ == 0)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    throw std::runtime_error("the update server did not start: " + out + err);
  }
}

UpdateServer::~UpdateServer() {
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  close(fd);
  return ntohs(addr.sin_port);
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace fernpad::updater::testing
