#include "input/ClickTimer.h"

namespace fernpad::input {

ThreadTimer::ThreadTimer(std::chrono::milliseconds interval, InputMutex& ownerLock,
                         std::function<void()> onFire)
    : interval_(interval), ownerLock_(ownerLock), onFire_(std::move(onFire)), thread_([this] { Run(); }) {}

ThreadTimer::~ThreadTimer() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ThreadTimer::Enable() {
  {
    std::lock_guard lock(mutex_);
    if (enabled_) return;
    enabled_ = true;
    ++generation_;
    deadline_ = std::chrono::steady_clock::now() + interval_;
  }
  wake_.notify_all();
}

void ThreadTimer::Disable() {
  {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    enabled_ = false;
    ++generation_;
  }
  wake_.notify_all();
}

bool ThreadTimer::Enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

void ThreadTimer::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!enabled_) {
      wake_.wait(lock);
      continue;
    }
    const auto generation = generation_;
    if (wake_.wait_until(lock, deadline_, [&] { return quit_ || generation_ != generation; })) continue;
    // Due. Take the owner's lock first (the order every other caller uses: owner, then ours).
    lock.unlock();
    {
      std::lock_guard owner(ownerLock_);
      bool fire = false;
      {
        std::lock_guard again(mutex_);
        if (enabled_ && generation_ == generation) {
          enabled_ = false;
          ++generation_;
          fire = true;
        }
      }
      if (fire) onFire_();
    }
    lock.lock();
  }
}

}  // namespace fernpad::input
