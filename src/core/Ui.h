#pragma once

#include <optional>
#include <string>

#include "core/Geometry.h"

namespace fernpad {

// What the system's logic needs from a person or a window. The Qt front end implements it on the GUI
// thread (calls from other threads are carried there; the blocking ones wait for the answer); the headless
// front end and the tests implement it without windows. Every method may be called from any thread.
class Ui {
 public:
  virtual ~Ui() = default;

  // Shows a message box with the text and an OK button; returns once the user has closed it. Only the
  // calling thread waits: the program and other boxes stay usable.
  virtual void ShowMessage(const std::string& text) = 0;

  // Brings the main window to the front of the z-order without showing it when it is hidden.
  virtual void BringMainWindowToFront() = 0;

  // Shows the last typed character code on the Debug page.
  virtual void SetLastVirtualKey(int code) = 0;

  // Asks the user whether the device at this address may control the PC (the "Security question");
  // returns true for Yes, false for No. Blocks until the user has answered; empty when nobody answered
  // (there is no one to ask, or the program is closing).
  virtual std::optional<bool> AskAllowHost(const std::string& address) = 0;

  // The allowed or denied host lists have changed: refill what shows them.
  virtual void HostListsChanged() = 0;

  // Shows the presenter dot (16 x 16, round, in the pointer colour, on top, never taking the focus) with its
  // top-left corner at topLeft, or moves it there when it is shown already. The logic gives topLeft in screen
  // coordinates; the front end receives it in the coordinates windows are placed in (DesktopUi carries it).
  virtual void ShowPointerOverlay(Point topLeft) = 0;
  // Hides the presenter dot, however it was shown.
  virtual void HidePointerOverlay() = 0;

  // Shows the picture file (a JPEG, already upright) full screen on the monitor of the main window, in
  // place of the one shown before. A file that cannot be shown leaves the previous picture.
  virtual void ShowImage(const std::string& path) = 0;
  // Closes the full-screen picture; nothing when none is shown.
  virtual void CloseImage() = 0;
  // Shows the stored photo at `path` as the small preview, closed 10 s after the last one.
  virtual void ShowPreview(const std::string& path) = 0;
  // Asks where the photos of the device `name` (the handheld's Windows-1252 text), seen for the first
  // time, go; a front end without a folder of its own to start from suggests `defaultFolder`. Blocks until
  // answered; empty when nobody answered (there is no one to ask, or the program is closing).
  virtual std::optional<std::string> AskDeviceFolder(const std::string& name,
                                                     const std::string& defaultFolder) = 0;
  // An upload selected or added a device, so the upload page's selector and folder show something new.
  virtual void UploadDevicesChanged() = 0;
};

// A Ui for a process without windows that shows nothing and refuses unknown devices (also new upload
// devices); front ends override what they can show.
class NullUi : public Ui {
 public:
  void ShowMessage(const std::string&) override {}
  void BringMainWindowToFront() override {}
  void SetLastVirtualKey(int) override {}
  std::optional<bool> AskAllowHost(const std::string&) override { return std::nullopt; }
  void HostListsChanged() override {}
  void ShowPointerOverlay(Point) override {}
  void HidePointerOverlay() override {}
  void ShowImage(const std::string&) override {}
  void CloseImage() override {}
  void ShowPreview(const std::string&) override {}
  std::optional<std::string> AskDeviceFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void UploadDevicesChanged() override {}
};

}  // namespace fernpad
