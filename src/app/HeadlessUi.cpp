#include "app/HeadlessUi.h"

#include <poll.h>
#include <unistd.h>

#include "access/AccessControl.h"
#include "core/Log.h"

namespace fernpad::app {

bool HeadlessUi::DefaultIsTerminal() {
  return isatty(0) == 1;
}

void HeadlessUi::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

std::optional<bool> HeadlessUi::AskAllowHost(const std::string& address) {
  if (!interactive_) {
    log::Verbose("access: refused ", address,
                 ": nobody can answer the security question here; start with --allow ", address,
                 " to let it in");
    return std::nullopt;
  }
  std::lock_guard lock(mutex_);
  const std::string question = "Security question: " + access::PromptText(address) + " [y/N] ";
  std::fwrite(question.data(), 1, question.size(), out_);
  std::fflush(out_);
  std::string line;
  while (!closing_) {
    pollfd p{in_, POLLIN, 0};
    const int ready = poll(&p, 1, 200);
    if (ready < 0) return std::nullopt;
    if (ready == 0) continue;
    char c = 0;
    const ssize_t n = read(in_, &c, 1);
    if (n <= 0) return std::nullopt;  // end of input: no answer
    if (c == '\n') break;
    line += c;
  }
  if (closing_) return std::nullopt;
  return line == "y" || line == "Y" || line == "yes" || line == "Yes" || line == "YES";
}

}  // namespace fernpad::app
