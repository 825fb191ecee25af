#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
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

// The running program's configuration (updater::ConfigForThisProgram) whose requests end early once `stop`
// says so (the program is closing). Called on the thread that runs the check.
updater::UpdaterConfig StoppableConfig(const std::string& updateUrl, int countryCode,
                                       std::function<bool()> stop);

// Runs one update check at a time of a windowed front end on a worker thread, shown with the front end's
// UpdaterUi. Made and used on the front end's GUI thread, which learns of a check's end through `ended` and
// then calls Join.
class UpdateCheckWorker {
 public:
  using Check = std::function<updater::CheckOutcome(updater::UpdaterUi&)>;
  // Called on the worker thread as its last step; carries the outcome to the GUI thread, which calls Join.
  using Ended = std::function<void(updater::CheckOutcome)>;

  explicit UpdateCheckWorker(updater::UpdaterUi& ui) : ui_(ui) {}
  // Waits for the worker thread: the owner has released its UpdaterUi first (Shutdown).
  ~UpdateCheckWorker();
  UpdateCheckWorker(const UpdateCheckWorker&) = delete;
  UpdateCheckWorker& operator=(const UpdateCheckWorker&) = delete;

  // Starts the check on the worker thread; false, and nothing started, while a check runs or once Shutdown
  // has begun. An exception out of the check is logged and counts as a failed check.
  bool Start(Check check, Ended ended);
  // True from Start until Join or Shutdown.
  bool Running() const { return worker_.joinable(); }
  // Whether Shutdown has begun; from any thread (a request under way may ask it to end early).
  bool ShuttingDown() const { return shutDown_; }
  // Once `ended` has reached the GUI thread: waits for the worker's last step. False when Shutdown came
  // first (the check's end is then nobody's business).
  bool Join();
  // No check starts from now on; `release` makes the UpdaterUi let a waiting check go (boxes closed,
  // progress refused), then the worker thread is waited for.
  void Shutdown(const std::function<void()>& release);

 private:
  updater::UpdaterUi& ui_;
  std::thread worker_;
  std::atomic<bool> shutDown_{false};
};

}  // namespace fernpad::app
