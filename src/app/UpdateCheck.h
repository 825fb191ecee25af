#pragma once

#include <condition_variable>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

#include "app/CommandLine.h"
#include "updater/Updater.h"

namespace fernpad::app {

// The answer of a version check in one line: "up to date", "update available: <version>" or the error.
std::string DescribeVersionCheck(const updater::VersionCheck& check);

// --check-update: asks the update server once, without windows, and prints the answer (errors to `err`).
// Returns the exit code: 0 up to date, 10 an update is available, 1 the check failed or there is no server.
int RunCheckUpdate(const CommandLine& cl, std::ostream& out, std::ostream& err);

// The headless start-up check: a second after it is made, asks the update server once and logs the answer;
// it never shows or downloads anything. Destroying it stops a request under way and waits for the thread.
class StartupUpdateCheck {
 public:
  explicit StartupUpdateCheck(std::string updateUrl);
  ~StartupUpdateCheck();
  StartupUpdateCheck(const StartupUpdateCheck&) = delete;
  StartupUpdateCheck& operator=(const StartupUpdateCheck&) = delete;

 private:
  void Run(const std::string& updateUrl);

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace fernpad::app
