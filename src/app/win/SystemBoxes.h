#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fernpad::app {

// System message boxes, each shown on the thread that asks and modal to that thread alone: they belong to
// no window, so a box never waits behind another box and the GUI thread's windows stay usable; they come
// to the front and stay on top. Once the program is shutting down the open boxes are closed and no new one
// waits for anybody. Any thread.
class SystemBoxes {
 public:
  SystemBoxes() = default;
  SystemBoxes(const SystemBoxes&) = delete;
  SystemBoxes& operator=(const SystemBoxes&) = delete;

  // Shows a box (UTF-8 text and caption, MessageBox style) on this thread and returns the button pressed,
  // or empty when the program's end closed it (or had begun already). closeCommand: the button that closes
  // it at the end (IDOK, IDNO...).
  std::optional<int> Show(const std::string& text, const std::string& caption, UINT style, int closeCommand);
  // The same for any dialog that show makes on this thread and runs until it is closed (show returns the
  // button, 0 for none).
  std::optional<int> Run(const std::function<int()>& show, int closeCommand);

  // Closes the open boxes and keeps new ones from opening.
  void BeginShutdown();

 private:
  struct OpenBox {
    HWND window = nullptr;
    int closeCommand = IDOK;
    bool closedByShutdown = false;
  };
  // Called by the calling thread's hook once its box exists.
  void BoxCreated(OpenBox& box, HWND window);
  static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam);

  std::mutex mutex_;  // guards closing_ and boxes_; never held while a box is shown
  bool closing_ = false;
  std::vector<OpenBox*> boxes_;
};

}  // namespace fernpad::app
