#include "settings/OptionsStore.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include "core/Log.h"
#include "settings/SettingsPaths.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

namespace {

std::int32_t StoredCount(const TOrnivoFile& file, std::int32_t listKey) {
  return std::clamp(file.ReadInteger({listKey, 0}), 0, kMaxStoredListItems);
}

std::vector<std::string> ReadList(const TOrnivoFile& file, std::int32_t listKey) {
  std::vector<std::string> items;
  const std::int32_t count = StoredCount(file, listKey);
  for (std::int32_t i = 1; i <= count; ++i) items.push_back(file.ReadString({listKey, i}));
  return items;
}

std::int32_t Count(std::size_t size) {
  return static_cast<std::int32_t>(size);
}

}  // namespace

Options ReadOptions(const TOrnivoFile& file, const std::string& fallbackFolder) {
  Options options;
  // A file saved before the acceleration existed keeps the smoothing and colour defaults too.
  const std::int32_t acceleration = file.ReadInteger(kMouseAccelerationKey);
  if (acceleration != 0) {
    options.MouseAcceleration = std::clamp(acceleration, kMinMouseAcceleration, kMaxMouseAcceleration);
    options.SmoothImage = file.ReadBoolean(kSmoothImageKey);
    options.PointerColor = static_cast<std::uint32_t>(file.ReadColor(kPointerColorKey));
  } else {
    options.MouseAcceleration = kMinMouseAcceleration;
    options.SmoothImage = false;
  }
  options.AllowedHosts = ReadList(file, kAllowedHostsKey);
  options.DeniedHosts = ReadList(file, kDeniedHostsKey);
  options.CheckUpdatesOnStartup = file.ReadBoolean(kCheckUpdatesOnStartupKey);
  options.StartWithWindows = file.ReadBoolean(kStartWithWindowsKey);
  options.CursorJumpFix = file.ReadBoolean(kCursorJumpFixKey);
  options.DisableAccessControl = file.ReadBoolean(kDisableAccessControlKey);
  options.DefaultFolder = file.ReadString(kUploadFolderKey);
  if (options.DefaultFolder.empty()) options.DefaultFolder = fallbackFolder;
  const std::int32_t devices = StoredCount(file, kUploadDevicesKey);
  for (std::int32_t k = 1; k <= devices; ++k) {
    options.Devices.push_back(TSnapferryDevice{file.ReadString({kUploadDevicesKey, k, 0}),
                                               file.ReadString({kUploadDevicesKey, k, 1}),
                                               file.ReadString({kUploadDevicesKey, k, 2})});
  }
  return options;
}

void WriteOptions(TOrnivoFile& file, const Options& options) {
  file.WriteInteger(kMouseAccelerationKey, options.MouseAcceleration);
  file.WriteBoolean(kSmoothImageKey, options.SmoothImage);
  file.WriteColor(kPointerColorKey, static_cast<std::int32_t>(options.PointerColor));
  file.WriteInteger({kAllowedHostsKey, 0}, Count(options.AllowedHosts.size()));
  file.WriteInteger({kDeniedHostsKey, 0}, Count(options.DeniedHosts.size()));
  for (std::size_t i = 0; i < options.AllowedHosts.size(); ++i) {
    file.WriteString({kAllowedHostsKey, Count(i + 1)}, options.AllowedHosts[i]);
  }
  for (std::size_t i = 0; i < options.DeniedHosts.size(); ++i) {
    file.WriteString({kDeniedHostsKey, Count(i + 1)}, options.DeniedHosts[i]);
  }
  file.WriteBoolean(kCheckUpdatesOnStartupKey, options.CheckUpdatesOnStartup);
  file.WriteBoolean(kStartWithWindowsKey, options.StartWithWindows);
  file.WriteBoolean(kCursorJumpFixKey, options.CursorJumpFix);
  file.WriteBoolean(kDisableAccessControlKey, options.DisableAccessControl);
  // The "Default" entry's own folder, never the folder of a device that happens to be selected.
  file.WriteString(kUploadFolderKey, options.DefaultFolder);
  file.WriteInteger({kUploadDevicesKey, 0}, Count(options.Devices.size()));
  for (std::size_t k = 0; k < options.Devices.size(); ++k) {
    const TSnapferryDevice& device = options.Devices[k];
    file.WriteString({kUploadDevicesKey, Count(k + 1), 0}, device.Identifier);
    file.WriteString({kUploadDevicesKey, Count(k + 1), 1}, device.Name);
    file.WriteString({kUploadDevicesKey, Count(k + 1), 2}, device.Folder);
  }
}

std::string FolderBoxText(const std::string& folder, const std::string& fallbackFolder) {
  return folder.size() < 3 ? fallbackFolder : folder;
}

OptionsStore::OptionsStore(fs::path file, std::shared_ptr<Autostart> autostart, std::string fallbackFolder)
    : file_(std::move(file)), autostart_(std::move(autostart)), fallbackFolder_(std::move(fallbackFolder)) {}

OptionsStore::OptionsStore(fs::path file)
    : OptionsStore(std::move(file), std::shared_ptr<Autostart>(MakeDefaultAutostart()),
                   DefaultUploadFolder()) {}

fs::path OptionsStore::DamagedFile() const {
  fs::path damaged = file_;
  damaged += ".damaged";
  return damaged;
}

Options OptionsStore::LoadOptions() {
  LoadingScope loading(*this);
  recovered_ = false;
  TOrnivoFile file;
  try {
    file.Open(file_.string(), true, false);
    return ReadOptions(file, fallbackFolder_);
  } catch (const OrnivoIoError& e) {
    log::Verbose("Options not loaded, starting with the defaults: ", e.what());
    std::error_code ec;
    if (fs::exists(file_, ec)) KeepDamagedFileAside();
  }
  const TOrnivoFile empty;
  return ReadOptions(empty, fallbackFolder_);
}

void OptionsStore::KeepDamagedFileAside() {
  std::error_code ec;
  fs::rename(file_, DamagedFile(), ec);
  if (ec) {
    log::Verbose("Cannot keep the damaged options file aside: ", ec.message());
    return;
  }
  recovered_ = true;
}

void OptionsStore::SaveOptions(const Options& options) {
  if (OptionsLoading()) return;
  std::lock_guard lock(saveMutex_);
  std::exception_ptr failure;
  try {
    TOrnivoFile file;
    file.Open(file_.string(), true, true);
    WriteOptions(file, options);
    file.Save();
  } catch (const OrnivoIoError&) {
    failure = std::current_exception();
  }
  if (autostart_) autostart_->SetAutostart(options.StartWithWindows);
  if (failure) std::rethrow_exception(failure);
}

void ConnectSaveHook(LiveSettings& live, OptionsStore& store, std::function<void(const Options&)> afterSave) {
  live.SetSaveHook([&store, afterSave = std::move(afterSave)](const Options& options) {
    if (store.OptionsLoading()) return;
    try {
      store.SaveOptions(options);
    } catch (const std::exception& e) {
      log::Verbose("Options not saved: ", e.what());
    }
    if (afterSave) afterSave(options);
  });
}

}  // namespace fernpad::settings
