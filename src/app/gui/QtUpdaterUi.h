#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "app/UpdateCheck.h"
#include "app/gui/GuiCalls.h"
#include "updater/Updater.h"

namespace fernpad::app {

class TUpdaterForm;

// The updater's side of the Qt front end. Called on the thread that runs the check; every call is carried
// onto the GUI thread. The boxes belong to no window and leave the others usable; a call that shows one
// waits for its answer, or returns at once when the program is shutting down. Made on the GUI thread.
class QtUpdaterUi : public updater::UpdaterUi {
 public:
  QtUpdaterUi();
  ~QtUpdaterUi() override;

  void ShowBox(const updater::BoxText& box, Icon icon) override;
  bool AskYesNo(const updater::BoxText& box) override;
  void DownloadStarted() override;
  // Posts the progress to the window (only the newest, when the window has not caught up yet) and tells
  // whether Cancel is still unpressed: the download never waits for the GUI thread.
  bool DownloadProgress(const updater::TransferProgress& progress) override;
  void DownloadEnded() override;
  // Starts the installer with Launch and ends the program's event loop. When nothing could be started the
  // program keeps running.
  void HandOver(const std::filesystem::path& installer) override;

  // From now on no call waits; the boxes still open are closed, the progress window goes. On the GUI thread.
  void BeginShutdown();
  TUpdaterForm& Form() { return *form_; }

  // Starts the installer on the GUI thread; false when nothing could be started.
  std::function<bool(const std::filesystem::path&)> Launch = updater::OpenInstaller;

 private:
  GuiCalls calls_;
  std::unique_ptr<TUpdaterForm> form_;
  std::atomic<bool> cancelled_{false};
  std::mutex progressLock_;
  updater::TransferProgress newest_;         // under progressLock_
  std::atomic<bool> progressPosted_{false};  // an update is on its way to the window
};

// Runs one update check at a time on a worker thread, shown with a QtUpdaterUi. Made and used on the GUI
// thread.
class UpdateCheckThread : public QObject {
  Q_OBJECT
 public:
  using Check = std::function<updater::CheckOutcome(updater::UpdaterUi&)>;
  UpdateCheckThread();
  // Shuts down as Shutdown does.
  ~UpdateCheckThread() override;

  // Starts the check on the worker thread; false, and nothing started, while a check runs. An exception
  // out of the check is logged and counts as a failed check.
  bool Start(Check check);
  bool Running() const { return worker_.Running(); }
  // Whether Shutdown has begun; from any thread (a request under way may ask it to end early).
  bool ShuttingDown() const { return worker_.ShuttingDown(); }
  // Releases a check waiting on a box or downloading and waits for the worker thread to end; no check
  // starts afterwards.
  void Shutdown();
  QtUpdaterUi& Ui() { return ui_; }

 signals:
  // A check ended (not emitted for one ended by Shutdown).
  void Finished(updater::CheckOutcome outcome);

 private:
  QtUpdaterUi ui_;
  UpdateCheckWorker worker_{ui_};
};

}  // namespace fernpad::app
