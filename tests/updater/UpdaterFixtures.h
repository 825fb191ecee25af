#pragma once

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Signed files made with the minisign tool, the loopback update server, and programs run to their end.
namespace fernpad::updater::testing {

struct ProgramResult {
  int exitCode = -1;  // -1: died of a signal
  std::string out;
  std::string err;
};
// Runs a program through the shell with its arguments quoted; `environment` is put before it as given
// ("env -u DISPLAY NAME=value"), the environment's proxy variables are left out.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& environment = {});

struct KeyPair {
  std::string publicLine;  // the base64 line of the public key
  std::filesystem::path secretKey;
};
// A new unencrypted minisign key pair in `folder`, its files named after `name`.
KeyPair MakeKeyPair(const std::filesystem::path& folder, const std::string& name);
// Signs `file` with `key` and the trusted comment; returns the signature file's text.
std::string Sign(const std::filesystem::path& file, const KeyPair& key, const std::string& trustedComment,
                 bool legacy = false);

// update_server.py on 127.0.0.1 (see there), ended by its process id when destroyed.
class UpdateServer {
 public:
  struct Options {
    std::filesystem::path tlsFolder;  // non-empty: HTTPS with a CA made there ("ca.crt")
    std::string proxyCredentials;     // non-empty: also a proxy that wants these ("user:password")
  };
  UpdateServer(const std::filesystem::path& root, const std::filesystem::path& logFile,
               const Options& options);
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;
  int Port() const { return port_; }
  int ProxyPort() const { return proxyPort_; }

 private:
  std::FILE* output_ = nullptr;
  pid_t pid_ = -1;
  int port_ = 0;
  int proxyPort_ = 0;
};

// A loopback port nothing listens on (taken from the system, then let go).
int UnusedPort();

std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);

}  // namespace fernpad::updater::testing
