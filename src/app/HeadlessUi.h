#pragma once

#include <cstdio>
#include <mutex>

#include "core/Ui.h"

namespace fernpad::app {

// The Ui of a process without windows: messages for the user go to standard output, one per line.
class HeadlessUi : public NullUi {
 public:
  explicit HeadlessUi(std::FILE* out = stdout) : out_(out) {}

  void ShowMessage(const std::string& text) override {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }

 private:
  std::mutex mutex_;
  std::FILE* out_;
};

}  // namespace fernpad::app
