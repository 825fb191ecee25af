#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <future>
#include <optional>
#include <vector>

#include "core/Ui.h"

class QMessageBox;

namespace fernpad::app {

class TForm1;
class TPointerForm;

// The Ui of the Qt front end. Every call is carried onto the GUI thread; the blocking ones wait for the
// answer, or return at once when the program is shutting down, so a waiting network thread can never hold
// up the end of the program.
class QtUi : public QObject, public Ui {
  Q_OBJECT
 public:
  QtUi(TForm1& mainWindow, TPointerForm& pointerForm);

  void ShowMessage(const std::string& text) override;
  void BringMainWindowToFront() override;
  void SetLastVirtualKey(int code) override;
  std::optional<bool> AskAllowHost(const std::string& address) override;
  void HostListsChanged() override;
  void ShowPointerOverlay(Point topLeft) override;
  void HidePointerOverlay() override;
  // The image window, the preview and the new-device dialog come with their windows; until then photos are
  // stored but not shown, and a new device is not added (its connection is closed).
  void ShowImage(const std::string&) override {}
  void CloseImage() override {}
  void ShowPreview(const std::string&) override {}
  std::optional<std::string> AskDeviceFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }

  // From now on blocking calls return without waiting; the boxes still open are closed. On the GUI thread.
  void BeginShutdown();

 private:
  // Runs work on the GUI thread and, if wait, blocks until it has run (or shutdown begins).
  void OnGuiThread(std::function<void()> work, bool wait);
  // Shows the box that make creates on the GUI thread, without blocking that thread or the other boxes,
  // and waits for the button that closed it: the calling thread alone waits. nullopt when the program is
  // closing.
  std::optional<int> AskInBox(std::function<QMessageBox*()> make);
  // Waits until the future is ready; false when shutdown began first.
  template <class T>
  bool Await(std::future<T>& future) const;

  TForm1& mainWindow_;
  TPointerForm& pointerForm_;
  std::atomic<bool> closing_{false};
  std::vector<QPointer<QMessageBox>> boxes_;  // the boxes shown so far (GUI thread only)
};

}  // namespace fernpad::app
