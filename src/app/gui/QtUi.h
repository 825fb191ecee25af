#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "app/gui/GuiCalls.h"
#include "core/Ui.h"

class QMessageBox;

namespace fernpad::app {

class TForm1;
class TPointerForm;
class TImageForm;
class TForm4;
class TForm5;

// The front end's windows, made at start-up and living until the end.
struct QtWindows {
  TForm1& mainWindow;
  TPointerForm& pointerForm;
  TImageForm& imageForm;
  TForm4& preview;
  TForm5& newDevice;
};

// The Ui of the Qt front end. Every call is carried onto the GUI thread; the blocking ones wait for the
// answer, or return at once when the program is shutting down, so a waiting network thread can never hold
// up the end of the program.
class QtUi : public QObject, public Ui {
  Q_OBJECT
 public:
  explicit QtUi(QtWindows windows);

  void ShowMessage(const std::string& text) override;
  void BringMainWindowToFront() override;
  void SetLastVirtualKey(int code) override;
  std::optional<bool> AskAllowHost(const std::string& address) override;
  void HostListsChanged() override;
  void ShowPointerOverlay(Point topLeft) override;
  void HidePointerOverlay() override;
  // The pictures are read on the calling thread, so the GUI thread only draws them.
  void ShowImage(const std::string& path) override;
  void CloseImage() override;
  void ShowPreview(const std::string& path) override;
  // The new-device dialog opens where it was left the last time (at first in the program's starting folder).
  std::optional<std::string> AskDeviceFolder(const std::string& name, const std::string&) override;
  void UploadDevicesChanged() override;

  // From now on blocking calls return without waiting; the boxes still open are closed. On the GUI thread.
  void BeginShutdown();

 private:
  void OnGuiThread(std::function<void()> work, bool wait) { calls_.OnGuiThread(std::move(work), wait); }
  // The box that make creates, on top of every window, waited for as GuiCalls::AskInBox does.
  std::optional<int> AskInBox(std::function<QMessageBox*()> make);
  // The monitor the main window belongs to (GUI thread).
  Rect MainWindowMonitor() const;

  TForm1& mainWindow_;
  TPointerForm& pointerForm_;
  QtWindows windows_;
  GuiCalls calls_;
};

}  // namespace fernpad::app
