#include "access/AccessControl.h"

#include <algorithm>

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

bool AccessControl::CheckAccess(const std::string& address) {
  const Listed listed = Lookup(address);
  if (listed != Listed::Neither) return listed == Listed::Allowed;

  bool expected = false;
  if (!promptOpen_.compare_exchange_strong(expected, true)) return false;  // another prompt is open
  // A prompt that just closed may have decided about this very address.
  if (Lookup(address) == Listed::Neither) {
    log::Verbose("access: asking about ", address);
    const bool allow = ui_.AskAllowHost(address);
    log::Verbose("access: ", address, allow ? " allowed" : " denied");
    settings_.Change(
        [&](settings::Options& o) { (allow ? o.AllowedHosts : o.DeniedHosts).push_back(address); });
    ui_.HostListsChanged();
  }
  promptOpen_ = false;
  return false;
}

void DeleteSelected(std::vector<std::string>& list, std::vector<int> selected) {
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  // From the last line down, so the indices still to be removed stay valid.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it)
    if (*it >= 0 && *it < static_cast<int>(list.size())) list.erase(list.begin() + *it);
}

}  // namespace fernpad::access
