#include "access/AccessControl.h"

#include <algorithm>
#include <optional>

#include "core/Log.h"

namespace fernpad::access {

std::string PromptText(const std::string& address) {
  return "The device with the IP " + address + " wants to control the PC. Allow?";
}

Listed ListedAs(const settings::Options& o, const std::string& address) {
  if (o.DisableAccessControl) return Listed::Allowed;
  if (std::find(o.AllowedHosts.begin(), o.AllowedHosts.end(), address) != o.AllowedHosts.end())
    return Listed::Allowed;
  if (std::find(o.DeniedHosts.begin(), o.DeniedHosts.end(), address) != o.DeniedHosts.end())
    return Listed::Denied;
  return Listed::Neither;
}

Listed AccessControl::Lookup(const std::string& address) const {
  return settings_.Read([&](const settings::Options& o) { return ListedAs(o, address); });
}

AccessControl::~AccessControl() {
  Stop();
}

void AccessControl::Stop() {
  std::lock_guard lock(askerMutex_);
  if (asker_.joinable()) asker_.join();
}

bool AccessControl::CheckAccess(const std::string& address, Asking asking) {
  const Listed listed = Lookup(address);
  if (listed != Listed::Neither) return listed == Listed::Allowed;

  bool expected = false;
  if (!promptOpen_.compare_exchange_strong(expected, true)) return false;  // another question is open
  // A question that just closed may have decided about this very address.
  if (Lookup(address) != Listed::Neither) {
    promptOpen_ = false;
    return false;
  }
  const auto last = lastQuestionEnd_.load();
  if (last != Clock::time_point::min() && now_() - last < kQuestionGap) {
    promptOpen_ = false;
    log::Verbose("access: refused ", address, ": the security question was asked moments ago");
    return false;
  }
  if (asking == Asking::Wait) {
    Ask(address);
    return false;
  }
  std::lock_guard lock(askerMutex_);
  if (asker_.joinable()) asker_.join();  // the last question is over: this one won promptOpen_
  asker_ = std::thread([this, address] { Ask(address); });
  return false;
}

void AccessControl::Ask(const std::string& address) {
  log::Verbose("access: asking about ", address);
  // Nothing may escape: this can run on a thread of its own.
  try {
    const std::optional<bool> allow = ui_.AskAllowHost(address);
    if (allow) {
      log::Verbose("access: ", address, *allow ? " allowed" : " denied");
      settings_.Change(
          [&](settings::Options& o) { (*allow ? o.AllowedHosts : o.DeniedHosts).push_back(address); });
      ui_.HostListsChanged();
    } else {
      log::Verbose("access: refused ", address, " without an answer; nothing is remembered");
    }
  } catch (const std::exception& e) {
    log::Verbose("access: the security question about ", address, " failed: ", e.what());
  }
  lastQuestionEnd_ = now_();
  promptOpen_ = false;
}

void DeleteSelected(std::vector<std::string>& list, std::vector<int> selected) {
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  // From the last line down, so the indices still to be removed stay valid.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it)
    if (*it >= 0 && *it < static_cast<int>(list.size())) list.erase(list.begin() + *it);
}

}  // namespace fernpad::access
