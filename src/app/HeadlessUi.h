#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/Ui.h"

namespace fernpad::app {

// The Ui of a process without windows. Messages for the user go to standard output, one per line. The
// security question is asked on the terminal when standard input is one; otherwise unknown devices are
// refused without being remembered (the --allow option lets them in). A new upload device is asked about on
// the terminal likewise (an empty answer takes the default folder); without a terminal it gets the default
// folder. Photos to show are only kept track of: there is no window.
class HeadlessUi : public NullUi {
 public:
  // in: the descriptor to read answers from (tests pass a pipe and say it is a terminal).
  explicit HeadlessUi(std::FILE* out = stdout, int in = 0, bool inIsTerminal = DefaultIsTerminal())
      : out_(out), in_(in), interactive_(inIsTerminal) {}

  void ShowMessage(const std::string& text) override;
  std::optional<bool> AskAllowHost(const std::string& address) override;
  void ShowImage(const std::string& path) override;
  void CloseImage() override;
  void ShowPreview(const std::string& path) override;
  std::optional<std::string> AskDeviceFolder(const std::string& name,
                                             const std::string& defaultFolder) override;

  // The picture ShowImage was last given, empty once closed.
  std::string ShownImage() const;

  // From now on a pending question is answered No at once.
  void BeginShutdown() { closing_ = true; }

 private:
  static bool DefaultIsTerminal();
  // Writes the question and reads one line of answer; empty when nobody answered. Under mutex_.
  std::optional<std::string> Ask(const std::string& question);

  std::mutex mutex_;  // one question at a time
  mutable std::mutex imageMutex_;
  std::string shownImage_;
  std::FILE* out_;
  int in_;
  bool interactive_;
  std::atomic<bool> closing_{false};
};

}  // namespace fernpad::app
