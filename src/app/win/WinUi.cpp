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

std::string WinUi::StartFolder() {
  char folder[MAX_PATH] = {};
  const DWORD length = ::GetCurrentDirectoryA(MAX_PATH, folder);
  return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string("C:\\");
}

std::optional<std::string> WinUi::AskDeviceFolder(const std::string& name, const std::string&) {
  std::lock_guard ask(askMutex_);
  const std::string shownName = Cp1252ToUtf8(name);
  if (!boxes_.Run([&] { return Form5.Ask(shownName, startFolder_); }, IDCANCEL)) return std::nullopt;
  return Form5.ChosenFolder();
}

void WinUi::UploadDevicesChanged() {
  if (const HWND form = mainWindow_.load()) ::PostMessageW(form, TForm1::kDevicesChanged, 0, 0);
}

}  // namespace fernpad::app
