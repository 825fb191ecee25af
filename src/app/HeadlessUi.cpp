#include "app/HeadlessUi.h"

#include "access/AccessControl.h"
#include "app/TerminalInput.h"
#include "core/Cp1252.h"
#include "core/Log.h"

namespace fernpad::app {

bool HeadlessUi::DefaultIsTerminal() {
  return terminal::IsTerminal(0);
}

void HeadlessUi::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

std::optional<std::string> HeadlessUi::Ask(const std::string& question) {
  std::fwrite(question.data(), 1, question.size(), out_);
  std::fflush(out_);
  std::string line;
  while (!closing_) {
    const int ready = terminal::WaitReadable(in_, 200);
    if (ready < 0) return std::nullopt;
    if (ready == 0) continue;
    char c = 0;
    if (terminal::ReadByte(in_, c) <= 0) return std::nullopt;  // end of input: no answer
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows console ends lines with CR LF
      return line;
    }
    line += c;
  }
  return std::nullopt;
}

std::optional<bool> HeadlessUi::AskAllowHost(const std::string& address) {
  if (!interactive_) {
    log::Verbose("access: refused ", address,
                 ": nobody can answer the security question here; start with --allow ", address,
                 " to let it in");
    return std::nullopt;
  }
  std::lock_guard lock(mutex_);
  const auto line = Ask("Security question: " + access::PromptText(address) + " [y/N] ");
  if (!line) return std::nullopt;
  return *line == "y" || *line == "Y" || *line == "yes" || *line == "Yes" || *line == "YES";
}

std::optional<std::string> HeadlessUi::AskDeviceFolder(const std::string& name,
                                                       const std::string& defaultFolder) {
  const std::string shownName = log::SafeLine(Cp1252ToUtf8(name));
  if (!interactive_) {
    log::Verbose("upload: new device \"", shownName, "\" added with the default folder ",
                 log::SafeLine(defaultFolder));
    return defaultFolder;
  }
  std::lock_guard lock(mutex_);
  const auto line =
      Ask("New device \"" + shownName + "\": folder for its photos [" + log::SafeLine(defaultFolder) + "] ");
  if (!line) return std::nullopt;
  return line->empty() ? defaultFolder : *line;
}

void HeadlessUi::ShowImage(const std::string& path) {
  log::Verbose("upload: showing ", log::SafeLine(path));
  std::lock_guard lock(imageMutex_);
  shownImage_ = path;
}

void HeadlessUi::CloseImage() {
  log::Verbose("upload: closing the shown photo");
  std::lock_guard lock(imageMutex_);
  shownImage_.clear();
}

void HeadlessUi::ShowPreview(const std::string& path) {
  log::Verbose("upload: stored ", log::SafeLine(path));
}

std::string HeadlessUi::ShownImage() const {
  std::lock_guard lock(imageMutex_);
  return shownImage_;
}

}  // namespace fernpad::app
