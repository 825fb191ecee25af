#include "app/FormSettings.h"

#include <algorithm>

#include "access/AccessControl.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {
namespace {

std::vector<std::string>& ListOf(settings::Options& o, HostList list) {
  return list == HostList::Allowed ? o.AllowedHosts : o.DeniedHosts;
}

}  // namespace

ControlStates ControlStatesOf(const settings::Options& o) {
  return {std::clamp(o.MouseAcceleration, settings::kMinMouseAcceleration, settings::kMaxMouseAcceleration),
          o.SmoothImage,
          o.CheckUpdatesOnStartup,
          o.StartWithWindows,
          o.CursorJumpFix,
          o.DisableAccessControl};
}

void StoreControlStates(settings::LiveSettings& settings, const ControlStates& s) {
  settings.Change([&](settings::Options& o) {
    o.MouseAcceleration = s.mouseAcceleration;
    o.SmoothImage = s.smoothImage;
    o.CheckUpdatesOnStartup = s.checkUpdatesOnStartup;
    o.StartWithWindows = s.startWithWindows;
    o.CursorJumpFix = s.cursorJumpFix;
    o.DisableAccessControl = s.disableAccessControl;
  });
}

void DeleteSelectedHosts(settings::LiveSettings& settings, HostList list, std::vector<int> rows) {
  settings.Change([&](settings::Options& o) { access::DeleteSelected(ListOf(o, list), std::move(rows)); });
}

void DeleteAllHosts(settings::LiveSettings& settings, HostList list) {
  settings.Change([&](settings::Options& o) { ListOf(o, list).clear(); });
}

std::vector<std::string> DeviceEntries(const std::vector<settings::TSnapferryDevice>& devices) {
  std::vector<std::string> entries{"Default"};
  for (const auto& device : devices) entries.push_back(device.Name);
  return entries;
}

std::string FolderAfterPick(const std::string& shown, const std::string& chosen) {
  return chosen.empty() ? shown : chosen;
}

}  // namespace fernpad::app
