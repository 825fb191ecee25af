#pragma once

#include <QObject>
#include <atomic>
#include <functional>

#include "core/Ui.h"

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

  // From now on blocking calls return without waiting.
  void BeginShutdown() { closing_ = true; }

 private:
  // Runs work on the GUI thread and, if wait, blocks until it has run (or shutdown begins).
  void OnGuiThread(std::function<void()> work, bool wait);

  TForm1& mainWindow_;
  TPointerForm& pointerForm_;
  std::atomic<bool> closing_{false};
};

}  // namespace fernpad::app
