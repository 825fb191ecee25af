#include "app/win/WinUi.h"

#include "access/AccessControl.h"
#include "app/Texts.h"
#include "app/win/MainForm.h"
#include "app/win/TrayWindow.h"
#include "core/Cp1252.h"

namespace fernpad::app {

void WinUi::ShowMessage(const std::string& text) {
  boxes_.Show(Cp1252ToUtf8(text), kApplicationTitle, MB_OK | MB_ICONINFORMATION, IDOK);
}

std::optional<bool> WinUi::AskAllowHost(const std::string& address) {
  // MB_YESNO | MB_ICONWARNING, as the question has always looked.
  const auto button = boxes_.Show(Cp1252ToUtf8(access::PromptText(address)), access::kPromptCaption,
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

void WinUi::UploadDevicesChanged() {
  if (const HWND form = mainWindow_.load()) ::PostMessageW(form, TForm1::kDevicesChanged, 0, 0);
}

}  // namespace fernpad::app
