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
  updater::UpdaterConfig config = updater::ConfigForThisProgram(updateUrl, OsCountryCode());
  config.makeClient = [this](const settings::UpdaterSettings& proxy) {
    updater::HttpClientOptions options = updater::DefaultHttpClientOptions();
    options.stop = [this] {
      std::lock_guard lock(mutex_);
      return stopping_;
    };
    return updater::MakeHttpClient(proxy, std::move(options));
  };
  const VersionCheck check = updater::CheckVersion(config);
  std::lock_guard lock(mutex_);
  if (!stopping_) log::Verbose("update check at start: ", DescribeVersionCheck(check));
}

}  // namespace fernpad::app
