#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "app/UpdateCheck.h"
#include "app/win/SystemBoxes.h"
#include "app/win/UpdaterForm.h"
#include "updater/Updater.h"

namespace fernpad::app {

class TForm1;

// The updater's side of the Windows front end, called on the thread that runs the check. The boxes are
// system message boxes shown on that thread, owned by no window, so the other windows stay usable; a call
// that shows one waits for its answer, or returns at once when the program is shutting down. The progress
// window lives on the GUI thread and is reached by posted messages only: the check never waits for the
// GUI thread. Made on the GUI thread.
class WinUpdaterUi : public updater::UpdaterUi {
 public:
  // Throws std::runtime_error when the progress window cannot be made.
  WinUpdaterUi();

  void ShowBox(const updater::BoxText& box, Icon icon) override;
  bool AskYesNo(const updater::BoxText& box) override;
  void DownloadStarted() override;
  // Posts the progress to the window (only the newest, when the window has not caught up yet) and tells
  // whether Cancel is still unpressed.
  bool DownloadProgress(const updater::TransferProgress& progress) override;
  void DownloadEnded() override;
  // Starts the installer with Launch and then ends the program with EndProgram. When nothing could be
  // started the program keeps running.
  void HandOver(const std::filesystem::path& installer) override;

  // From now on no call waits; the boxes still open are closed, the progress window goes. On the GUI thread.
  void BeginShutdown();
  TUpdaterForm& Form() { return *form_; }

  // Starts the installer (on the check's thread); false when nothing could be started.
  std::function<bool(const std::filesystem::path&)> Launch = updater::OpenInstaller;
  // Ends the program's message loop; called on the check's thread.
  std::function<void()> EndProgram;

 private:
  void Post(UINT message);

  SystemBoxes boxes_;
  std::unique_ptr<TUpdaterForm> form_;
  std::atomic<HWND> formWindow_{nullptr};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> closing_{false};
  std::mutex progressLock_;
  updater::TransferProgress newest_;  // under progressLock_
  bool progressPosted_ = false;       // under progressLock_: an update is on its way to the window
};

// The main window's update checks: "Check for online updates now" (Button6) and the start-up check, one at
// a time on a worker thread, shown with a WinUpdaterUi. While a check runs the main window is a normal
// one, so the check's boxes and windows and then the installer can come in front of it; it stays on top
// again once the check has ended. Made and used on the GUI thread; `form` outlives it.
class WinUpdateCheck {
 public:
  // Takes over the form's Button6. Throws std::runtime_error when a window cannot be made.
  explicit WinUpdateCheck(TForm1& form);
  // Ends a running check first (EndUpdateCheck).
  ~WinUpdateCheck();
  WinUpdateCheck(const WinUpdateCheck&) = delete;
  WinUpdateCheck& operator=(const WinUpdateCheck&) = delete;

  // What a check needs; called on the check's worker thread as each check starts. Without it no check
  // starts.
  std::function<updater::UpdaterConfig()> UpdaterConfigSource;
  // A check ended, on the GUI thread (not called for one ended by EndUpdateCheck).
  std::function<void(updater::CheckOutcome)> Finished;

  // "Check for online updates now": the check with all its boxes; nothing while a check runs.
  void Button6Click();
  // "Check on startup": UpdateTimerTimer a second from now.
  void StartUpdateTimer();
  // The start-up check: once, and silent about a failed request, no update or no update server.
  void UpdateTimerTimer();
  // Releases a check waiting on a box or downloading and waits for its thread; no check starts afterwards.
  void EndUpdateCheck();
  bool Running() const { return worker_.Running(); }
  // From any thread: a request under way may end early.
  bool ShuttingDown() const { return worker_.ShuttingDown(); }
  WinUpdaterUi& Ui() { return ui_; }

 private:
  static constexpr UINT kCheckEnded = WM_APP + 45;
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  void StartUpdateCheck(bool silent);

  TForm1& form_;
  HWND window_ = nullptr;  // message-only: the start-up timer and the end of a check
  WinUpdaterUi ui_;
  UpdateCheckWorker worker_{ui_};
};

}  // namespace fernpad::app
