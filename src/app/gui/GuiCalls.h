#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <future>
#include <optional>
#include <vector>

class QDialog;
class QMessageBox;

namespace fernpad::app {

// Carries calls from other threads onto the GUI thread and lets them wait there for a dialog's answer
// without the GUI thread ever waiting: the calling thread alone waits. Once the program is shutting down no
// call waits any more, so a waiting thread can never hold up the end of the program. Made on the GUI thread.
class GuiCalls : public QObject {
  Q_OBJECT
 public:
  // Runs work on the GUI thread and, if wait, blocks until it has run (or shutdown begins).
  void OnGuiThread(std::function<void()> work, bool wait);
  // Shows the box that make creates on the GUI thread, not modal, so the other windows and boxes stay
  // usable, and waits for the button that closed it. nullopt when the program is closing.
  std::optional<int> AskInBox(std::function<QMessageBox*()> make);
  // Runs open on the GUI thread, which shows a dialog and gives it, and waits until that dialog has
  // finished: its result code, or nullopt when the program is closing.
  std::optional<int> WaitForDialog(std::function<QDialog*()> open);

  // From now on no call waits; the boxes still open are closed. On the GUI thread.
  void BeginShutdown();
  bool Closing() const { return closing_; }

 private:
  // Waits until the future is ready; false when shutdown began first.
  template <class T>
  bool Await(std::future<T>& future) const;

  std::atomic<bool> closing_{false};
  std::vector<QPointer<QMessageBox>> boxes_;  // the boxes shown so far (GUI thread only)
};

}  // namespace fernpad::app
