#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "app/win/SystemBoxes.h"
#include "core/Ui.h"
#include "platform/windows/WideText.h"

namespace fernpad::app {

// The Ui of the Windows front end. The security question and the chat message are system message boxes,
// each shown on the thread that asks (a connection thread, or the access check's own thread for
// datagrams) and modal to that thread alone, as the handheld's request waits for the answer there: a box
// never waits behind another box and the message loop of the tray and the main window never stops.
// Once the program is shutting down the open boxes are closed and no new one waits for anybody.
//
// The main window's host lists, upload page and Debug page and bringing it to the front are posted to the
// GUI thread's windows once attached. The image window, the preview and the new-device dialog are not
// Win32 windows yet: those calls go to `rest`, the headless front end's Ui.
class WinUi : public Ui {
 public:
  explicit WinUi(Ui& rest) : rest_(rest) {}

  // Returns once the box is closed, or at once when the program is closing.
  void ShowMessage(const std::string& text) override;
  // "Security question" with Yes and No; empty when the box was closed by the program's end.
  std::optional<bool> AskAllowHost(const std::string& address) override;

  void BringMainWindowToFront() override;
  void SetLastVirtualKey(int code) override;
  void HostListsChanged() override;
  void ShowPointerOverlay(Point topLeft) override { rest_.ShowPointerOverlay(topLeft); }
  void HidePointerOverlay() override { rest_.HidePointerOverlay(); }
  void ShowImage(const std::string& path) override { rest_.ShowImage(path); }
  void CloseImage() override { rest_.CloseImage(); }
  void ShowPreview(const std::string& path) override { rest_.ShowPreview(path); }
  std::optional<std::string> AskDeviceFolder(const std::string& name,
                                             const std::string& defaultFolder) override {
    return rest_.AskDeviceFolder(name, defaultFolder);
  }
  void UploadDevicesChanged() override;

  // The tray's hidden window and the main window (TForm1) the calls above are posted to; null for none.
  void AttachWindows(HWND tray, HWND mainWindow) {
    tray_ = tray;
    mainWindow_ = mainWindow;
  }

  // Closes the open boxes (a question counts as not answered) and keeps new ones from opening.
  void BeginShutdown() { boxes_.BeginShutdown(); }

 private:
  Ui& rest_;
  std::atomic<HWND> tray_{nullptr};
  std::atomic<HWND> mainWindow_{nullptr};
  SystemBoxes boxes_;
};

}  // namespace fernpad::app
