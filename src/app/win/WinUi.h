#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/win/SmallForms.h"
#include "app/win/SystemBoxes.h"
#include "core/Ui.h"
#include "platform/windows/WideText.h"

namespace fernpad::app {

// The Ui of the Windows front end. The security question, the chat message and the new-device dialog are
// shown on the thread that asks (a connection thread, or the access check's own thread for datagrams) and
// are modal to that thread alone, as the handheld's request waits for the answer there: a box never waits
// behind another box (new-device dialogs come one at a time) and the message loop of the tray and the main
// window never stops. Once the program is shutting down the open boxes are closed and no new one waits for
// anybody.
//
// The main window's host lists, upload page and Debug page, bringing it to the front, the presenter dot,
// the image window and the preview are posted to the GUI thread's windows once attached (pictures are read
// on the calling thread, so the GUI thread only draws them).
class WinUi : public Ui {
 public:
  WinUi() = default;

  // Returns once the box is closed, or at once when the program is closing.
  void ShowMessage(const std::string& text) override;
  // "Security question" with Yes and No; empty when the box was closed by the program's end.
  std::optional<bool> AskAllowHost(const std::string& address) override;

  void BringMainWindowToFront() override;
  void SetLastVirtualKey(int code) override;
  void HostListsChanged() override;
  void ShowPointerOverlay(Point topLeft) override;
  void HidePointerOverlay() override;
  void ShowImage(const std::string& path) override;
  void CloseImage() override;
  void ShowPreview(const std::string& path) override;
  // The new-device dialog, one at a time; it opens where it was left the last time, at first on the working
  // folder the program started in (defaultFolder is the upload page's). Empty when the program's end closed
  // it.
  std::optional<std::string> AskDeviceFolder(const std::string& name,
                                             const std::string& defaultFolder) override;
  void UploadDevicesChanged() override;

  // The tray's hidden window and the main window (TForm1) the calls above are posted to; null for none.
  void AttachWindows(HWND tray, HWND mainWindow) {
    tray_ = tray;
    mainWindow_ = mainWindow;
  }
  // The presenter dot, the image window and the preview; null for none.
  void AttachForms(HWND pointerForm, HWND imageForm, HWND preview) {
    pointerForm_ = pointerForm;
    imageForm_ = imageForm;
    preview_ = preview;
  }

  // Closes the open boxes (a question counts as not answered) and keeps new ones from opening.
  void BeginShutdown() { boxes_.BeginShutdown(); }

 private:
  static std::string StartFolder();
  // Posts a picture to a window that takes it over; dropped when the window is gone.
  static void PostPicture(HWND window, UINT message, std::unique_ptr<Bitmap24> picture);

  std::atomic<HWND> tray_{nullptr};
  std::atomic<HWND> mainWindow_{nullptr};
  std::atomic<HWND> pointerForm_{nullptr};
  std::atomic<HWND> imageForm_{nullptr};
  std::atomic<HWND> preview_{nullptr};
  std::mutex askMutex_;  // one new-device dialog at a time
  TForm5 Form5;
  const std::string startFolder_ = StartFolder();  // the working folder at start-up, ANSI
  SystemBoxes boxes_;
};

}  // namespace fernpad::app
