#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/Ui.h"
#include "settings/LiveSettings.h"

namespace fernpad::access {

// What the lists say about an address: allowed (or access control disabled), denied, or neither (the user
// has to be asked). The allowed list comes first, so an address on both lists counts as allowed.
enum class Listed { Allowed, Denied, Neither };
Listed ListedAs(const settings::Options& options, const std::string& address);

// The security prompt's text for a device.
std::string PromptText(const std::string& address);

// Decides which devices may control the PC: those on the allowed list, or everybody while access control
// is disabled. A device on neither list makes the user decide once; the answer is remembered on a list.
class AccessControl {
 public:
  AccessControl(settings::LiveSettings& settings, Ui& ui) : settings_(settings), ui_(ui) {}

  // True while the security prompt is open: both command paths drop every request meanwhile.
  bool PromptOpen() const { return promptOpen_.load(); }

  // True if the device may go on. For an unknown device asks the user (blocking the caller until the
  // answer), puts the address on the allowed or denied list, saves, and returns false: the request that
  // raised the prompt is never carried out. Only one prompt is ever open: opening it is one atomic step,
  // so a request that finds another prompt open is refused without a prompt of its own.
  bool CheckAccess(const std::string& address);

 private:
  Listed Lookup(const std::string& address) const;

  settings::LiveSettings& settings_;
  Ui& ui_;
  std::atomic<bool> promptOpen_{false};
};

// Removes the entries at the selected indices (any order, duplicates allowed) and keeps the rest in order.
void DeleteSelected(std::vector<std::string>& list, std::vector<int> selected);

}  // namespace fernpad::access
