#pragma once

#include <string>
#include <vector>

#include "settings/LiveSettings.h"

namespace fernpad::app {

// What the main window's pages do with the live settings, the same in every front end: the window shows
// the controls, these functions read and change the settings behind them.

// The states of the option controls the settings-changed handler stores.
struct ControlStates {
  int mouseAcceleration = 1;           // ScrollBar1
  bool smoothImage = false;            // CheckBox1
  bool checkUpdatesOnStartup = false;  // CheckBox2
  bool startWithWindows = false;       // CheckBox3
  bool cursorJumpFix = false;          // CheckBox4
  bool disableAccessControl = false;   // CheckBox5
};

// The controls as loading the settings sets them (the scroll bar kept within 1 to 100).
ControlStates ControlStatesOf(const settings::Options& options);
// The settings-changed handler: stores every option control's state (one save).
void StoreControlStates(settings::LiveSettings& settings, const ControlStates& states);

enum class HostList { Allowed, Denied };  // ListBox1, ListBox2
// "Delete selected": removes the lines at `rows` (none is fine: the options are saved all the same).
void DeleteSelectedHosts(settings::LiveSettings& settings, HostList list, std::vector<int> rows);
// "Delete all".
void DeleteAllHosts(settings::LiveSettings& settings, HostList list);

// The device list's entries: "Default", then each device's name (Windows-1252 bytes, as stored).
std::vector<std::string> DeviceEntries(const std::vector<settings::TSnapferryDevice>& devices);
// The folder "..." leaves for the selected entry: the chosen one, or the one shown when the user cancelled
// (chosen empty).
std::string FolderAfterPick(const std::string& shown, const std::string& chosen);

}  // namespace fernpad::app
