#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>

#include "core/Ui.h"

namespace fernpad::app {

// The Ui of a process without windows. Messages for the user go to standard output, one per line. The
// security question is asked on the terminal when standard input is one; otherwise unknown devices are
// refused without being remembered (the --allow option lets them in).
class HeadlessUi : public NullUi {
 public:
  // in: the descriptor to read answers from (tests pass a pipe and say it is a terminal).
  explicit HeadlessUi(std::FILE* out = stdout, int in = 0, bool inIsTerminal = DefaultIsTerminal())
      : out_(out), in_(in), interactive_(inIsTerminal) {}

  void ShowMessage(const std::string& text) override;
  std::optional<bool> AskAllowHost(const std::string& address) override;

  // From now on a pending question is answered No at once.
  void BeginShutdown() { closing_ = true; }

 private:
  static bool DefaultIsTerminal();

  std::mutex mutex_;
  std::FILE* out_;
  int in_;
  bool interactive_;
  std::atomic<bool> closing_{false};
};

}  // namespace fernpad::app
