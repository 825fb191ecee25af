#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "settings/Autostart.h"
#include "settings/LiveSettings.h"
#include "settings/Options.h"
#include "settings/OrnivoFile.h"

namespace fernpad::settings {

// Keys of the options file, in the order a save writes them.
inline const KeyPath kMouseAccelerationKey{1000, 1};
inline const KeyPath kSmoothImageKey{1001, 1};
inline const KeyPath kPointerColorKey{1001, 2};
inline constexpr std::int32_t kAllowedHostsKey = 1002;  // [1002,0] count, [1002,i] items
inline constexpr std::int32_t kDeniedHostsKey = 1003;   // [1003,0] count, [1003,i] items
inline const KeyPath kCheckUpdatesOnStartupKey{1004, 0};
inline const KeyPath kStartWithWindowsKey{1005, 0};
inline const KeyPath kCursorJumpFixKey{1006, 0};
inline const KeyPath kDisableAccessControlKey{1007, 0};
inline const KeyPath kUploadFolderKey{1008, 0};
inline constexpr std::int32_t kUploadDevicesKey = 1009;  // [1009,0] count, [1009,k,0..2] devices

inline constexpr int kMinMouseAcceleration = 1;
inline constexpr int kMaxMouseAcceleration = 100;
// A stored list count above this is damage, not data; larger counts are cut to it. (A count above the
// number of stored items still yields empty items up to the count.)
inline constexpr std::int32_t kMaxStoredListItems = 10000;

// The options as a record tree holds them; an empty tree gives the defaults with `fallbackFolder` as
// the default upload folder.
Options ReadOptions(const TOrnivoFile& file, const std::string& fallbackFolder);
// Writes every option in file order into an open record file whose tree is empty.
void WriteOptions(TOrnivoFile& file, const Options& options);

// The text the upload-folder box shows for `folder`: the folder itself, or `fallbackFolder` when it is
// shorter than 3 characters (the stored folder is kept as it is).
std::string FolderBoxText(const std::string& folder, const std::string& fallbackFolder);

// The options file "option.dat": read once at start, rewritten whole at every change.
class OptionsStore {
 public:
  // `autostart` may be null (no autostart handling). `fallbackFolder` is the upload folder used when
  // none is stored.
  OptionsStore(std::filesystem::path file, std::shared_ptr<Autostart> autostart, std::string fallbackFolder);
  // The store for the running program: MakeDefaultAutostart() and DefaultUploadFolder().
  explicit OptionsStore(std::filesystem::path file);

  // Reads the options; a missing file is created empty and gives the defaults. A file that cannot be
  // read or is damaged is kept aside as DamagedFile() and the defaults are returned; the next save
  // writes a good file. Never throws for the file's contents. Saves are suppressed while it runs; the
  // autostart entry is not touched.
  Options LoadOptions();

  // Writes every option, replacing the file in one step, then brings the autostart entry in line with
  // StartWithWindows (also when writing failed). Does nothing while OptionsLoading() is set. Throws
  // OrnivoIoError when the file could not be written; the previous file is then left as it was.
  // Safe to call from several threads; saves run one at a time.
  void SaveOptions(const Options& options);

  // True while options are being loaded or a LoadingScope is alive: saves do nothing.
  bool OptionsLoading() const { return loading_.load() > 0; }

  // Suppresses saves while alive, for code that sets live settings without wanting them written.
  class LoadingScope {
   public:
    explicit LoadingScope(OptionsStore& store) : store_(store) { ++store_.loading_; }
    LoadingScope(const LoadingScope&) = delete;
    LoadingScope& operator=(const LoadingScope&) = delete;
    ~LoadingScope() { --store_.loading_; }

   private:
    OptionsStore& store_;
  };

  // True when the last LoadOptions found an unreadable or damaged file and kept it aside.
  bool RecoveredDamagedFile() const { return recovered_.load(); }
  const std::filesystem::path& File() const { return file_; }
  // "option.dat.damaged" beside the options file.
  std::filesystem::path DamagedFile() const;
  const std::string& FallbackFolder() const { return fallbackFolder_; }

 private:
  void KeepDamagedFileAside();

  std::filesystem::path file_;
  std::shared_ptr<Autostart> autostart_;
  std::string fallbackFolder_;
  std::atomic<int> loading_{0};
  std::atomic<bool> recovered_{false};
  std::mutex saveMutex_;
};

// Makes every change of `live` rewrite the options file. A failed save is logged (verbose) and the
// program goes on. `afterSave` (optional) runs after each save that was not suppressed by
// OptionsLoading(), with the options just saved: the place to hand CursorJumpFix to the cursor.
void ConnectSaveHook(LiveSettings& live, OptionsStore& store,
                     std::function<void(const Options&)> afterSave = nullptr);

}  // namespace fernpad::settings
