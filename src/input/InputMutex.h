#pragma once

#include <mutex>

namespace fernpad::input {

// The lock of the shared input state. Commands hold it for a few hundred nanoseconds, so a thread that finds
// it taken spins briefly before it sleeps: sleeping and waking costs far more than the wait, and with several
// handhelds sending at once that cost would otherwise dominate.
class InputMutex {
 public:
  void lock() {
    for (int i = 0; i < kSpins; ++i) {
      if (mutex_.try_lock()) return;
      Relax();
    }
    mutex_.lock();
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  static constexpr int kSpins = 64;
  static void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  std::mutex mutex_;
};

}  // namespace fernpad::input
