#include "app/win/WinUi.h"

#include <algorithm>

#include "access/AccessControl.h"
#include "app/Texts.h"
#include "app/win/MainForm.h"
#include "app/win/TrayWindow.h"
#include "core/Cp1252.h"

namespace fernpad::app {
namespace {

// The box the calling thread is about to show, for its creation hook.
struct PendingBox {
  WinUi* ui = nullptr;
  void* box = nullptr;
  HHOOK hook = nullptr;
};
thread_local PendingBox t_pending;

bool IsDialog(HWND window) {
  wchar_t className[16] = {};
  return ::GetClassNameW(window, className, 16) > 0 && std::wstring_view(className) == L"#32770";
}

}  // namespace

LRESULT CALLBACK WinUi::BoxHook(int code, WPARAM wParam, LPARAM lParam) {
  PendingBox& pending = t_pending;
  const HHOOK hook = pending.hook;
  if (code == HCBT_CREATEWND && pending.ui != nullptr) {
    const auto window = reinterpret_cast<HWND>(wParam);
    // The box itself; its buttons and text come after it.
    if (IsDialog(window)) {
      pending.ui->BoxCreated(*static_cast<OpenBox*>(pending.box), window);
      pending.ui = nullptr;
      ::UnhookWindowsHookEx(hook);  // nothing more to watch for
      pending.hook = nullptr;
    }
  }
  return ::CallNextHookEx(hook, code, wParam, lParam);
}

void WinUi::BoxCreated(OpenBox& box, HWND window) {
  std::lock_guard lock(mutex_);
  box.window = window;
  // The end began between the check before showing and now: the box closes as soon as it runs.
  if (closing_) {
    box.closedByShutdown = true;
    ::PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(box.closeCommand), 0);
  }
}

std::optional<int> WinUi::RunBox(const std::function<int()>& show, int closeCommand) {
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

std::optional<int> WinUi::ShowBox(const std::string& utf8Text, const char* caption, UINT style,
                                  int closeCommand) {
  return RunBox(
      [&] {
        return ::MessageBoxW(nullptr, Widen(utf8Text).c_str(), Widen(caption).c_str(),
                             style | MB_TOPMOST | MB_SETFOREGROUND);
      },
      closeCommand);
}

void WinUi::BeginShutdown() {
  std::lock_guard lock(mutex_);
  closing_ = true;
  for (OpenBox* box : boxes_) {
    box->closedByShutdown = true;
    if (box->window != nullptr)
      ::PostMessageW(box->window, WM_COMMAND, static_cast<WPARAM>(box->closeCommand), 0);
  }
}

void WinUi::ShowMessage(const std::string& text) {
  ShowBox(Cp1252ToUtf8(text), kApplicationTitle, MB_OK | MB_ICONINFORMATION, IDOK);
}

std::optional<bool> WinUi::AskAllowHost(const std::string& address) {
  // MB_YESNO | MB_ICONWARNING, as the question has always looked.
  const auto button = ShowBox(Cp1252ToUtf8(access::PromptText(address)), access::kPromptCaption,
                              MB_YESNO | MB_ICONWARNING, IDNO);
  if (!button) return std::nullopt;
  return *button == IDYES;
}

void WinUi::BringMainWindowToFront() {
  if (const HWND tray = tray_.load()) ::PostMessageW(tray, WM_COMMAND, TrayWindow::kShowCommand, 0);
}

void WinUi::SetLastVirtualKey(int code) {
  if (const HWND form = mainWindow_.load())
    ::PostMessageW(form, TForm1::kVirtualKey, static_cast<WPARAM>(code), 0);
}

void WinUi::HostListsChanged() {
  if (const HWND form = mainWindow_.load()) ::PostMessageW(form, TForm1::kHostListsChanged, 0, 0);
}

void WinUi::ShowPointerOverlay(Point topLeft) {
  if (const HWND dot = pointerForm_.load())
    ::PostMessageW(dot, TPointerForm::kShowAt, static_cast<WPARAM>(static_cast<INT_PTR>(topLeft.x)),
                   static_cast<LPARAM>(topLeft.y));
}

void WinUi::HidePointerOverlay() {
  if (const HWND dot = pointerForm_.load()) ::PostMessageW(dot, TPointerForm::kHide, 0, 0);
}

void WinUi::PostPicture(HWND window, UINT message, std::unique_ptr<Bitmap24> picture) {
  if (window == nullptr) return;
  if (::PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(picture.get())))
    static_cast<void>(picture.release());  // the window has it now
}

void WinUi::ShowImage(const std::string& path) {
  if (const HWND window = imageForm_.load())
    PostPicture(window, TImageForm::kShowImage, ReadPicture(path));  // null keeps the picture shown
}

void WinUi::CloseImage() {
  if (const HWND window = imageForm_.load()) ::PostMessageW(window, TImageForm::kCloseImage, 0, 0);
}

void WinUi::ShowPreview(const std::string& path) {
  if (const HWND window = preview_.load()) PostPicture(window, TForm4::kShowPreview, ReadPicture(path));
}

std::optional<std::string> WinUi::AskDeviceFolder(const std::string& name, const std::string& defaultFolder) {
  std::lock_guard ask(askMutex_);
  const std::string shownName = Cp1252ToUtf8(name);
  if (!RunBox([&] { return Form5.Ask(shownName, defaultFolder); }, IDCANCEL)) return std::nullopt;
  return Form5.ChosenFolder();
}

void WinUi::UploadDevicesChanged() {
  if (const HWND form = mainWindow_.load()) ::PostMessageW(form, TForm1::kDevicesChanged, 0, 0);
}

}  // namespace fernpad::app
