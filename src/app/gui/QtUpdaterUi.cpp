#include "app/gui/QtUpdaterUi.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

#include "app/gui/UpdaterForm.h"
#include "core/Log.h"

namespace fernpad::app {
namespace {

QMessageBox::Icon IconOf(updater::UpdaterUi::Icon icon) {
  switch (icon) {
    case updater::UpdaterUi::Icon::Warning:
      return QMessageBox::Warning;
    case updater::UpdaterUi::Icon::Information:
      return QMessageBox::Information;
    case updater::UpdaterUi::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// A box of the updater's texts; it belongs to no window. The texts are shown as they are: an answer of the
// update server is never read as markup.
QMessageBox* MakeBox(const updater::BoxText& box, QMessageBox::Icon icon,
                     QMessageBox::StandardButtons buttons) {
  QString text = QString::fromStdString(box.text);
  text.replace("\r\n", "\n");
  auto* shown = new QMessageBox(icon, QString::fromStdString(box.caption), text, buttons);
  shown->setTextFormat(Qt::PlainText);
  return shown;
}

}  // namespace

QtUpdaterUi::QtUpdaterUi() : form_(std::make_unique<TUpdaterForm>()) {
  QObject::connect(form_.get(), &TUpdaterForm::CancelPressed, form_.get(), [this] { cancelled_ = true; });
}

QtUpdaterUi::~QtUpdaterUi() = default;

void QtUpdaterUi::ShowBox(const updater::BoxText& box, Icon icon) {
  calls_.AskInBox([box, icon] { return MakeBox(box, IconOf(icon), QMessageBox::Ok); });
}

bool QtUpdaterUi::AskYesNo(const updater::BoxText& box) {
  const std::optional<int> button = calls_.AskInBox(
      [box] { return MakeBox(box, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No); });
  return button == QMessageBox::Yes;  // a program closing meanwhile declines
}

void QtUpdaterUi::DownloadStarted() {
  cancelled_ = false;
  {
    std::lock_guard lock(progressLock_);
    newest_ = {};
  }
  calls_.OnGuiThread([this] { form_->Open(); }, true);
}

bool QtUpdaterUi::DownloadProgress(const updater::TransferProgress& progress) {
  bool post = false;
  {
    std::lock_guard lock(progressLock_);
    newest_ = progress;
    post = !progressPosted_;
    progressPosted_ = true;
  }
  if (post)
    calls_.OnGuiThread(
        [this] {
          updater::TransferProgress shown;
          {
            std::lock_guard lock(progressLock_);
            shown = newest_;
            progressPosted_ = false;
          }
          form_->SetProgress(shown.received, shown.total);
        },
        false);
  return !cancelled_ && !calls_.Closing();
}

void QtUpdaterUi::DownloadEnded() {
  calls_.OnGuiThread([this] { form_->hide(); }, false);
}

void QtUpdaterUi::HandOver(const std::filesystem::path& installer) {
  calls_.OnGuiThread(
      [this, installer] {
        if (Launch && Launch(installer)) {
          QCoreApplication::quit();
          return;
        }
        log::Write("The update could not be started: neither xdg-open nor gio could open " +
                   installer.string());
      },
      true);
}

void QtUpdaterUi::BeginShutdown() {
  calls_.BeginShutdown();
  form_->hide();
}

UpdateCheckThread::UpdateCheckThread() = default;

UpdateCheckThread::~UpdateCheckThread() {
  Shutdown();
}

bool UpdateCheckThread::Start(Check check) {
  // The GUI thread joins the worker, which is then at its end, and tells who waits.
  return worker_.Start(std::move(check), [this](updater::CheckOutcome outcome) {
    QMetaObject::invokeMethod(
        this,
        [this, outcome] {
          if (worker_.Join()) emit Finished(outcome);  // not when shut down meanwhile
        },
        Qt::QueuedConnection);
  });
}

void UpdateCheckThread::Shutdown() {
  worker_.Shutdown([this] { ui_.BeginShutdown(); });
}

}  // namespace fernpad::app
