#include "app/win/TrayWindow.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "app/Texts.h"
#include "app/win/ProgramIcon.h"
#include "app/win/WinUi.h"
#include "app/win/WindowSupport.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kHiddenClass[] = L"FernpadTrayWindow";

// Copies text into a fixed buffer of the shell's, cut to fit, always terminated.
template <std::size_t N>
void CopyInto(wchar_t (&buffer)[N], const std::wstring& text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = L'\0';
}

}  // namespace

TrayWindow::TrayWindow(settings::LiveSettings& settings, std::function<std::string()> addresses)
    : addresses_(std::move(addresses)) {
  RegisterClassOnce(kHiddenClass, Procedure);
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  icon_ = MakeProgramIcon();
  window_ = ::CreateWindowExW(0, kHiddenClass, Widen(kMainWindowTitle).c_str(), WS_OVERLAPPED, 0, 0, 0, 0,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) {
    ::DestroyIcon(icon_);
    throw std::runtime_error("the tray window cannot be made");
  }
  try {
    form_ = std::make_unique<TForm1>(settings, addresses_);
  } catch (...) {
    ending_ = true;
    ::DestroyWindow(window_);
    ::DestroyIcon(icon_);
    throw;
  }
  form_->OnClose = [this] { Quit(); };  // closing the window stops the server
  RefreshAddressLine();
  AddIcon(true);
}

TrayWindow::~TrayWindow() {
  ending_ = true;  // no quit message left behind for a later loop
  form_.reset();
  if (window_ != nullptr) ::DestroyWindow(window_);
  ::DestroyIcon(icon_);
}

void TrayWindow::AddIcon(bool balloon) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_;
  CopyInto(data.szTip, tooltip_);
  if (balloon) {
    data.uFlags |= NIF_INFO;
    CopyInto(data.szInfoTitle, Widen(kTrayBalloon));
    CopyInto(data.szInfo, Widen(kTrayBalloon));
    data.dwInfoFlags = NIIF_INFO;
  }
  if (!balloon) ::Shell_NotifyIconW(NIM_DELETE, &data);  // a shell that kept it would refuse it again
  iconShown_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void TrayWindow::RefreshAddressLine() {
  const std::wstring line = Widen(AddressLine(addresses_()));
  NOTIFYICONDATAW data{};
  tooltip_ = line.substr(0, std::size(data.szTip) - 1);
  if (!iconShown_) return;
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_TIP;
  CopyInto(data.szTip, tooltip_);
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayWindow::ShowMenu() {
  RefreshAddressLine();
  const HMENU menu = ::CreatePopupMenu();
  ::AppendMenuW(menu, MF_STRING, kShowCommand, L"Show");
  ::AppendMenuW(menu, MF_STRING, kQuitCommand, L"Quit");
  POINT at{};
  ::GetCursorPos(&at);
  ::SetForegroundWindow(window_);  // so the menu closes when the user clicks elsewhere
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  ::PostMessageW(window_, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}

void TrayWindow::ShowMainWindow() {
  RefreshAddressLine();
  if (form_->Window() != nullptr) form_->TrayIcon1Click();
}

void TrayWindow::Quit() {
  // The front end stops the server once the loop has ended; the settings were saved at every change.
  if (form_->Window() != nullptr) ::DestroyWindow(form_->Window());
  if (window_ != nullptr) ::DestroyWindow(window_);  // WM_DESTROY ends the loop
}

LRESULT CALLBACK TrayWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TrayWindow>(window, message, l);
  if (self == nullptr) return ::DefWindowProcW(window, message, w, l);
  return self->Handle(window, message, w, l);
}

LRESULT TrayWindow::Handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    AddIcon(false);  // the shell restarted and forgot the icon
    return 0;
  }
  switch (message) {
    case kTrayMessage:
      if (LOWORD(l) == WM_LBUTTONUP || LOWORD(l) == WM_RBUTTONUP || LOWORD(l) == WM_CONTEXTMENU) ShowMenu();
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kShowCommand) ShowMainWindow();
      if (LOWORD(w) == kQuitCommand) Quit();
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW data{};
      data.cbSize = sizeof(data);
      data.hWnd = window;
      data.uID = kIconId;
      if (iconShown_) ::Shell_NotifyIconW(NIM_DELETE, &data);
      iconShown_ = false;
      window_ = nullptr;
      if (!ending_) ::PostQuitMessage(0);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

int RunMessageLoop() {
  MSG message;
  BOOL got = 0;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    // Key preview: a key pressed anywhere in the main window shows its code on the Debug page first; then
    // the dialog keys (Tab, arrows) move between the controls.
    const HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (TForm1::IsMainWindow(root)) {
      if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN)
        ::SendMessageW(root, TForm1::kVirtualKey, message.wParam, 0);
      if (::IsDialogMessageW(root, &message)) continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 1;
}

}  // namespace fernpad::app
