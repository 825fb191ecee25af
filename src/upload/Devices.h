#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "settings/LiveSettings.h"

namespace fernpad::upload {

// Ends the folder a new device is added with.
inline constexpr char kFolderSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// Nobody chose a folder for a new device (the question could not be asked or was abandoned).
class NoFolderChosen : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The upload page's device selector `ComboBox1` (entry 0 "Default", entry k the device Devices[k-1]) and
// destination folder `Edit1`, over the devices and default folder of the live settings. Folders are
// file-system bytes; device identifiers and names stay the handheld's Windows-1252 bytes.
//
// Thread safety: every member may be called from any thread. SelectOrAddDevice calls run one at a time
// (the new-device question is asked once at a time) under a lock of their own, which is not the input lock;
// the other members never wait for the question.
class UploadDevices {
 public:
  // Asks where the photos of a device seen for the first time go; gets its name, gives the chosen folder,
  // or the empty text when nobody answered.
  using AskFolder = std::function<std::string(const std::string& name)>;

  // changed: runs after each SelectOrAddDevice that selected or added a device (on the caller's thread).
  UploadDevices(settings::LiveSettings& settings, AskFolder askFolder, std::function<void()> changed = {});

  // After loading the settings: "Default" selected, `Edit1` showing the default folder (or
  // `fallbackFolder` when that is shorter than 3 characters). Saves nothing.
  void LoadOptions(const std::string& fallbackFolder);

  // Selects the first device with exactly this identifier and shows its folder. An unknown identifier is
  // asked about; the device is added with the chosen folder (a separator appended when missing) and `name`,
  // selected, and the settings are saved at once. Throws NoFolderChosen when the question got no answer
  // (nothing is added); an exception of the question passes through.
  void SelectOrAddDevice(const std::string& identifier, const std::string& name);

  // The user selected entry `entry` of the selector: shows its folder; saves nothing. An entry out of range
  // is ignored.
  void ComboBox1Change(int entry);

  // The user chose `folder` for the selected entry ("Default" when none is selected); a separator is
  // appended to a folder longer than 2 characters without one. Saves when the folder shown or stored
  // changes.
  void FolderChosen(std::string folder);

  // "Delete this device": removes the selected device and saves at once; afterwards nothing is selected and
  // `Edit1` keeps its text. Does nothing while "Default" or nothing is selected.
  void Button8Click();

  // The destination folder the next photo is stored in.
  std::string Edit1() const;
  // The selected entry, -1 when none.
  int Selected() const;

 private:
  settings::LiveSettings& settings_;
  AskFolder askFolder_;
  std::function<void()> changed_;
  std::mutex askMutex_;  // one SelectOrAddDevice at a time, held while the question is open
  mutable std::mutex stateMutex_;
  std::string edit1_;
  int selected_ = 0;
};

}  // namespace fernpad::upload
