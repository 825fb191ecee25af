#include "app/win/SystemBoxes.h"

#include <algorithm>
#include <string_view>

#include "platform/windows/WideText.h"

namespace fernpad::app {
namespace {

// The box the calling thread is about to show, for its creation hook.
struct PendingBox {
  SystemBoxes* boxes = nullptr;
  void* box = nullptr;
  HHOOK hook = nullptr;
};
thread_local PendingBox t_pending;

bool IsDialog(HWND window) {
  wchar_t className[16] = {};
  return ::GetClassNameW(window, className, 16) > 0 && std::wstring_view(className) == L"#32770";
}

}  // namespace

LRESULT CALLBACK SystemBoxes::BoxHook(int code, WPARAM wParam, LPARAM lParam) {
  PendingBox& pending = t_pending;
  const HHOOK hook = pending.hook;
  if (code == HCBT_CREATEWND && pending.boxes != nullptr) {
    const auto window = reinterpret_cast<HWND>(wParam);
    // The box itself; its buttons and text come after it.
    if (IsDialog(window)) {
      pending.boxes->BoxCreated(*static_cast<OpenBox*>(pending.box), window);
      pending.boxes = nullptr;
      ::UnhookWindowsHookEx(hook);  // nothing more to watch for
      pending.hook = nullptr;
    }
  }
  return ::CallNextHookEx(hook, code, wParam, lParam);
}

void SystemBoxes::BoxCreated(OpenBox& box, HWND window) {
  std::lock_guard lock(mutex_);
  box.window = window;
  // The end began between the check before showing and now: the box closes as soon as it runs.
  if (closing_) {
    box.closedByShutdown = true;
    ::PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(box.closeCommand), 0);
  }
}

std::optional<int> SystemBoxes::Show(const std::string& text, const std::string& caption, UINT style,
                                     int closeCommand) {
  return Run(
      [&] {
        return ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(),
                             style | MB_TOPMOST | MB_SETFOREGROUND);
      },
      closeCommand);
}

std::optional<int> SystemBoxes::Run(const std::function<int()>& show, int closeCommand) {
  OpenBox box;
  box.closeCommand = closeCommand;
  {
    std::lock_guard lock(mutex_);
    if (closing_) return std::nullopt;
    boxes_.push_back(&box);
  }
  t_pending = {this, &box, ::SetWindowsHookExW(WH_CBT, BoxHook, nullptr, ::GetCurrentThreadId())};
  const int button = show();
  if (t_pending.hook != nullptr) ::UnhookWindowsHookEx(t_pending.hook);
  t_pending = {};

  std::lock_guard lock(mutex_);
  boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), &box), boxes_.end());
  if (button == 0 || box.closedByShutdown) return std::nullopt;
  return button;
}

void SystemBoxes::BeginShutdown() {
  std::lock_guard lock(mutex_);
  closing_ = true;
  for (OpenBox* box : boxes_) {
    box->closedByShutdown = true;
    if (box->window != nullptr)
      ::PostMessageW(box->window, WM_COMMAND, static_cast<WPARAM>(box->closeCommand), 0);
  }
}

}  // namespace fernpad::app
