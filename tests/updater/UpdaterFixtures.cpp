#include "UpdaterFixtures.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fernpad::updater::testing {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& arg : argv) {
    line += " '";
    for (const char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "'";
  }
  return line;
}

// The proxies of the environment must not take loopback requests elsewhere.
const char kNoProxy[] = "env -u http_proxy -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY ";

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& environment) {
  char errFile[] = "/tmp/fernpad-updater-err-XXXXXX";
  const int fd = mkstemp(errFile);
  if (fd < 0) throw std::runtime_error("mkstemp");
  close(fd);
  const std::string command = kNoProxy + environment + Quoted(argv) + " 2>'" + errFile + "' </dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  ProgramResult result;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) result.out.append(buf, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = ReadText(errFile);
  fs::remove(errFile);
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
  std::vector<std::string> argv = {FERNPAD_PYTHON3, FERNPAD_UPDATE_SERVER_SCRIPT, root.string(),
                                   logFile.string()};
  if (!options.tlsFolder.empty()) argv.insert(argv.end(), {"--tls", options.tlsFolder.string()});
  if (!options.proxyCredentials.empty()) argv.insert(argv.end(), {"--proxy", options.proxyCredentials});
  output_ = popen(("exec " + Quoted(argv)).c_str(), "r");
  if (!output_) throw std::runtime_error("cannot start the update server");
  // "pid N", "server PORT" and with a proxy "proxy PORT", then nothing until it is ended.
  char word[16];
  int number = 0;
  for (int lines = options.proxyCredentials.empty() ? 2 : 3; lines > 0; --lines) {
    if (std::fscanf(output_, "%15s %d", word, &number) != 2) break;
    (std::string(word) == "pid" ? pid_ : std::string(word) == "server" ? port_ : proxyPort_) = number;
  }
  if (pid_ <= 0 || port_ == 0 || (!options.proxyCredentials.empty() && proxyPort_ == 0)) {
    pclose(output_);
    throw std::runtime_error("the update server did not start");
  }
}

UpdateServer::~UpdateServer() {
  kill(pid_, SIGTERM);
  pclose(output_);
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
