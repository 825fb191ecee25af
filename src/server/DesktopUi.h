#pragma once

#include <string>

#include "core/Ui.h"
#include "platform/Platform.h"

namespace fernpad {

// The front end's Ui as the logic sees it: the presenter dot's position, which the logic computes in screen
// coordinates (from the primary monitor's corner), is carried into the coordinates windows are placed in by
// adding the platform's ScreenOrigin, read at each call; sums beyond the 32-bit range stop at its ends. Every
// other call is passed on as it is.
class DesktopUi : public Ui {
 public:
  DesktopUi(Ui& ui, Platform& platform) : ui_(ui), platform_(platform) {}

  void ShowMessage(const std::string& text) override { ui_.ShowMessage(text); }
  void BringMainWindowToFront() override { ui_.BringMainWindowToFront(); }
  void SetLastVirtualKey(int code) override { ui_.SetLastVirtualKey(code); }
  std::optional<bool> AskAllowHost(const std::string& address) override { return ui_.AskAllowHost(address); }
  void HostListsChanged() override { ui_.HostListsChanged(); }
  void ShowPointerOverlay(Point topLeft) override;
  void HidePointerOverlay() override { ui_.HidePointerOverlay(); }
  void ShowImage(const std::string& path) override { ui_.ShowImage(path); }
  void CloseImage() override { ui_.CloseImage(); }
  void ShowPreview(const std::string& path) override { ui_.ShowPreview(path); }
  std::optional<std::string> AskDeviceFolder(const std::string& name,
                                             const std::string& defaultFolder) override {
    return ui_.AskDeviceFolder(name, defaultFolder);
  }
  void UploadDevicesChanged() override { ui_.UploadDevicesChanged(); }

 private:
  Ui& ui_;
  Platform& platform_;
};

}  // namespace fernpad
