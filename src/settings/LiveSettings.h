#pragma once

#include <functional>
#include <mutex>
#include <shared_mutex>

#include "settings/Options.h"

namespace fernpad::settings {

// The one place the live settings are held. Any thread may read them (every command does, so readers share
// the lock and never wait for each other); every change runs the save hook with the settings as they are
// after the change.
class LiveSettings {
 public:
  using SaveHook = std::function<void(const Options&)>;

  explicit LiveSettings(Options initial = {}) : options_(std::move(initial)) {}

  Options Get() const {
    std::shared_lock lock(mutex_);
    return options_;
  }

  int MouseAcceleration() const {
    std::shared_lock lock(mutex_);
    return options_.MouseAcceleration;
  }

  bool SmoothImage() const {
    std::shared_lock lock(mutex_);
    return options_.SmoothImage;
  }

  // Runs a query on the settings without copying them. The query must not call back into this object.
  template <class Query>
  auto Read(Query&& query) const {
    std::shared_lock lock(mutex_);
    return query(options_);
  }

  // Replaces the settings without saving (loading at start).
  void Load(Options options) {
    std::lock_guard lock(mutex_);
    options_ = std::move(options);
  }

  // Applies a change and saves. Changes are saved one at a time in the order they were made, so the file
  // never ends up holding an older state than the settings.
  void Change(const std::function<void(Options&)>& change) {
    std::lock_guard saving(saveMutex_);
    Options after;
    {
      std::lock_guard lock(mutex_);
      change(options_);
      after = options_;
    }
    if (saveHook_) saveHook_(after);
  }

  void SetSaveHook(SaveHook hook) {
    std::lock_guard saving(saveMutex_);
    saveHook_ = std::move(hook);
  }

 private:
  mutable std::shared_mutex mutex_;
  Options options_;
  std::mutex saveMutex_;
  SaveHook saveHook_;
};

}  // namespace fernpad::settings
