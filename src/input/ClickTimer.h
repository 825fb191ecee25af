#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "input/InputMutex.h"

namespace fernpad::input {

// A one-shot timer: enabled, it fires once after its interval unless disabled first. Enabling a timer that
// is already enabled changes nothing (the pending deadline stays).
class OneShotTimer {
 public:
  virtual ~OneShotTimer() = default;
  virtual void Enable() = 0;
  virtual void Disable() = 0;
  virtual bool Enabled() const = 0;
};

// A OneShotTimer on a thread of its own. When it fires it takes the owner's lock (the lock under which the
// owner enables and disables it), checks that it is still due, marks itself disabled and runs the callback
// with that lock held. So a Disable() made under the owner's lock can never be overtaken by a late fire.
class ThreadTimer : public OneShotTimer {
 public:
  ThreadTimer(std::chrono::milliseconds interval, InputMutex& ownerLock, std::function<void()> onFire);
  ~ThreadTimer() override;
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

  void Enable() override;
  void Disable() override;
  bool Enabled() const override;

 private:
  void Run();

  const std::chrono::milliseconds interval_;
  InputMutex& ownerLock_;
  std::function<void()> onFire_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool enabled_ = false;
  bool quit_ = false;
  std::uint64_t generation_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  std::thread thread_;
};

}  // namespace fernpad::input
