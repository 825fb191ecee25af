#include "upload/Devices.h"

#include <optional>

#include "core/Log.h"
#include "settings/OptionsStore.h"

namespace fernpad::upload {
namespace {

// The index of the first device with this identifier.
std::optional<std::size_t> FindDevice(const settings::Options& options, const std::string& identifier) {
  for (std::size_t i = 0; i < options.Devices.size(); ++i) {
    if (options.Devices[i].Identifier == identifier) return i;
  }
  return std::nullopt;
}

}  // namespace

UploadDevices::UploadDevices(settings::LiveSettings& settings, AskFolder askFolder,
                             std::function<void()> changed)
    : settings_(settings), askFolder_(std::move(askFolder)), changed_(std::move(changed)) {}

void UploadDevices::LoadOptions(const std::string& fallbackFolder) {
  const std::string folder = settings_.Read([](const settings::Options& o) { return o.DefaultFolder; });
  std::lock_guard lock(stateMutex_);
  edit1_ = settings::FolderBoxText(folder, fallbackFolder);
  selected_ = 0;
}

void UploadDevices::SelectOrAddDevice(const std::string& identifier, const std::string& name) {
  std::lock_guard asking(askMutex_);
  const auto select = [&] {
    std::lock_guard lock(stateMutex_);
    return settings_.Read([&](const settings::Options& o) {
      const auto index = FindDevice(o, identifier);
      if (!index) return false;
      selected_ = static_cast<int>(*index) + 1;
      edit1_ = o.Devices[*index].Folder;
      return true;
    });
  };
  const auto selected = [&] {
    if (changed_) changed_();
  };
  if (select()) return selected();

  std::string folder = askFolder_ ? askFolder_(name) : std::string();
  if (folder.empty()) throw NoFolderChosen("nobody chose a folder for the new device");
  if (folder.back() != kFolderSeparator) folder.push_back(kFolderSeparator);
  {
    std::lock_guard lock(stateMutex_);
    edit1_ = folder;
  }
  // Saved at once, so that a device is not asked about again after a crash.
  settings_.Change([&](settings::Options& o) {
    if (!FindDevice(o, identifier)) o.Devices.push_back({identifier, name, folder});
  });
  log::Verbose("upload: added the device \"", log::SafeLine(name), "\" with the folder ",
               log::SafeLine(folder));
  select();
  selected();
}

void UploadDevices::ComboBox1Change(int entry) {
  std::lock_guard lock(stateMutex_);
  settings_.Read([&](const settings::Options& o) {
    if (entry < 0 || static_cast<std::size_t>(entry) > o.Devices.size()) return;
    selected_ = entry;
    edit1_ = entry == 0 ? o.DefaultFolder : o.Devices[static_cast<std::size_t>(entry) - 1].Folder;
  });
}

void UploadDevices::FolderChosen(std::string folder) {
  if (folder.size() > 2 && folder.back() != kFolderSeparator) folder.push_back(kFolderSeparator);
  std::lock_guard lock(stateMutex_);
  bool changed = edit1_ != folder;
  edit1_ = folder;
  if (selected_ < 0) selected_ = 0;
  const auto index = static_cast<std::size_t>(selected_);
  changed = changed || settings_.Read([&](const settings::Options& o) {
    return index == 0 ? o.DefaultFolder != folder
                      : index > o.Devices.size() || o.Devices[index - 1].Folder != folder;
  });
  if (!changed) return;
  settings_.Change([&](settings::Options& o) {
    if (index == 0) {
      o.DefaultFolder = folder;
    } else if (index <= o.Devices.size()) {
      o.Devices[index - 1].Folder = folder;
    }
  });
}

void UploadDevices::Button8Click() {
  std::lock_guard lock(stateMutex_);
  if (selected_ <= 0) return;
  const auto index = static_cast<std::size_t>(selected_) - 1;
  selected_ = -1;
  settings_.Change([&](settings::Options& o) {
    if (index < o.Devices.size()) o.Devices.erase(o.Devices.begin() + static_cast<std::ptrdiff_t>(index));
  });
}

std::string UploadDevices::Edit1() const {
  std::lock_guard lock(stateMutex_);
  return edit1_;
}

int UploadDevices::Selected() const {
  std::lock_guard lock(stateMutex_);
  return selected_;
}

}  // namespace fernpad::upload
