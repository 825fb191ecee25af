#include "app/UpdateCheck.h"

#include <chrono>
#include <ostream>

#include "core/Log.h"
#include "platform/OsPlatform.h"
#include "updater/HttpClient.h"

namespace fernpad::app {

using updater::VersionCheck;

std::string DescribeVersionCheck(const VersionCheck& check) {
  switch (check.result) {
    case VersionCheck::Result::UpToDate:
      return "up to date";
    case VersionCheck::Result::Available:
      return "update available: " + check.available;
    case VersionCheck::Result::NoServer:
      return "this build has no update server (--update-url names one)";
    case VersionCheck::Result::Failed:
      break;
  }
  return "the update check failed: " + check.error;
}

int RunCheckUpdate(const CommandLine& cl, std::ostream& out, std::ostream& err) {
  const VersionCheck check =
      updater::CheckVersion(updater::ConfigForThisProgram(cl.updateUrl, OsCountryCode()));
  const std::string line = DescribeVersionCheck(check);
  switch (check.result) {
    case VersionCheck::Result::UpToDate:
      out << line << '\n';
      return 0;
    case VersionCheck::Result::Available:
      out << line << '\n';
      return 10;
    default:
      err << "fernpad-server: " << line << '\n';
      return 1;
  }
}

StartupUpdateCheck::StartupUpdateCheck(std::string updateUrl)
    : thread_([this, url = std::move(updateUrl)] { Run(url); }) {}

StartupUpdateCheck::~StartupUpdateCheck() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void StartupUpdateCheck::Run(const std::string& updateUrl) {
  {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) return;
  }
  const VersionCheck check = updater::CheckVersion(StoppableConfig(updateUrl, OsCountryCode(), [this] {
    std::lock_guard lock(mutex_);
    return stopping_;
  }));
  std::lock_guard lock(mutex_);
  if (!stopping_) log::Verbose("update check at start: ", DescribeVersionCheck(check));
}

updater::UpdaterConfig StoppableConfig(const std::string& updateUrl, int countryCode,
                                       std::function<bool()> stop) {
  updater::UpdaterConfig config = updater::ConfigForThisProgram(updateUrl, countryCode);
  config.makeClient = [stop = std::move(stop)](const settings::UpdaterSettings& proxy) {
    updater::HttpClientOptions options = updater::DefaultHttpClientOptions();
    options.stop = stop;
    return updater::MakeHttpClient(proxy, std::move(options));
  };
  return config;
}

UpdateCheckWorker::~UpdateCheckWorker() {
  shutDown_ = true;
  if (worker_.joinable()) worker_.join();
}

bool UpdateCheckWorker::Start(Check check, Ended ended) {
  if (worker_.joinable() || shutDown_) return false;
  worker_ = std::thread([this, check = std::move(check), ended = std::move(ended)] {
    updater::CheckOutcome outcome = updater::CheckOutcome::Failed;
    try {
      outcome = check(ui_);
    } catch (const std::exception& e) {
      log::Write(std::string("The update check failed: ") + e.what());
    }
    if (ended) ended(outcome);
  });
  return true;
}

bool UpdateCheckWorker::Join() {
  if (!worker_.joinable()) return false;
  worker_.join();
  return true;
}

void UpdateCheckWorker::Shutdown(const std::function<void()>& release) {
  shutDown_ = true;
  if (release) release();
  if (worker_.joinable()) worker_.join();
}

}  // namespace fernpad::app
