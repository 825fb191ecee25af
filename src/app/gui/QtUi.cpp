#include "app/gui/QtUi.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QThread>
#include <chrono>
#include <future>

#include "access/AccessControl.h"
#include "app/Placement.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SmallWindows.h"
#include "core/Cp1252.h"

namespace fernpad::app {

QtUi::QtUi(QtWindows windows)
    : mainWindow_(windows.mainWindow), pointerForm_(windows.pointerForm), windows_(windows) {}

template <class T>
bool QtUi::Await(std::future<T>& future) const {
  while (!closing_)
    if (future.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready) return true;
  return false;
}

void QtUi::BeginShutdown() {
  closing_ = true;
  for (const QPointer<QMessageBox>& box : boxes_) delete box.data();
  boxes_.clear();
  windows_.newDevice.hide();
}

void QtUi::OnGuiThread(std::function<void()> work, bool wait) {
  if (QThread::currentThread() == thread()) {
    work();
    return;
  }
  if (!wait) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  QMetaObject::invokeMethod(
      this,
      [work = std::move(work), done] {
        work();
        done->set_value();
      },
      Qt::QueuedConnection);
  Await(finished);
}

std::optional<int> QtUi::AskInBox(std::function<QMessageBox*()> make) {
  return WaitForDialog([this, make = std::move(make)] {
    QMessageBox* box = make();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);  // the main window and the other boxes stay usable
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    std::erase_if(boxes_, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
    boxes_.emplace_back(box);
    box->show();
    return box;
  });
}

std::optional<int> QtUi::WaitForDialog(std::function<QDialog*()> open) {
  // Shared with the dialog, which may still be open after a shutdown made this wait end early.
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> answered = answer->get_future();
  auto show = [open = std::move(open), answer] {
    QDialog* dialog = open();
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(dialog, &QDialog::finished, dialog, [answer, once](int result) {
      QObject::disconnect(*once);  // a dialog used again answers its next caller
      answer->set_value(result);
    });
    return dialog;
  };
  if (QThread::currentThread() == thread()) {
    // A caller on the GUI thread itself (none of the command paths is) can only wait in a loop of its own.
    QEventLoop loop;
    connect(show(), &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
  } else {
    QMetaObject::invokeMethod(
        this, [show = std::move(show)] { show(); }, Qt::QueuedConnection);
    if (!Await(answered)) return std::nullopt;
  }
  // A dialog closed at shutdown never answers; closing_ is set before that.
  if (closing_) return std::nullopt;
  return answered.get();
}

void QtUi::ShowMessage(const std::string& text) {
  AskInBox([text] {
    return new QMessageBox(QMessageBox::Information, QApplication::applicationName(),
                           QString::fromStdString(Cp1252ToUtf8(text)), QMessageBox::Ok);
  });
}

void QtUi::BringMainWindowToFront() {
  OnGuiThread(
      [this] {
        if (mainWindow_.isVisible()) mainWindow_.raise();
      },
      false);
}

std::optional<bool> QtUi::AskAllowHost(const std::string& address) {
  const std::optional<int> button = AskInBox([this, address] {
    return new QMessageBox(QMessageBox::Warning, "Security question",
                           QString::fromStdString(Cp1252ToUtf8(access::PromptText(address))),
                           QMessageBox::Yes | QMessageBox::No, &mainWindow_);
  });
  if (!button) return std::nullopt;  // the program is closing: nobody answered
  return *button == QMessageBox::Yes;
}

void QtUi::HostListsChanged() {
  OnGuiThread([this] { mainWindow_.RefreshHostLists(); }, false);
}

void QtUi::ShowPointerOverlay(Point topLeft) {
  OnGuiThread(
      [this, topLeft] {
        if (!pointerForm_.isVisible()) pointerForm_.SetFill(mainWindow_.Shape1->Color());  // as it is shown
        pointerForm_.move(topLeft.x, topLeft.y);
        pointerForm_.show();
        pointerForm_.raise();
      },
      false);
}

void QtUi::HidePointerOverlay() {
  OnGuiThread([this] { pointerForm_.hide(); }, false);
}

Rect QtUi::MainWindowMonitor() const {
  std::vector<Rect> monitors;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    monitors.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  const QRect w = mainWindow_.frameGeometry();
  return MonitorOf(monitors, {w.x(), w.y(), w.width(), w.height()}).value_or(Rect{});
}

void QtUi::ShowImage(const std::string& path) {
  const QImage picture = ReadPicture(path);
  OnGuiThread([this, picture] { windows_.imageForm.ShowOn(MainWindowMonitor(), picture); }, false);
}

void QtUi::CloseImage() {
  OnGuiThread([this] { windows_.imageForm.CloseImage(); }, false);
}

void QtUi::ShowPreview(const std::string& path) {
  const QImage picture = ReadPicture(path, QSize(105, 105));
  OnGuiThread([this, picture] { windows_.preview.ShowPreview(MainWindowMonitor(), picture); }, false);
}

std::optional<std::string> QtUi::AskDeviceFolder(const std::string& name, const std::string&) {
  const QString shownName = QString::fromStdString(Cp1252ToUtf8(name));
  if (!WaitForDialog([this, shownName] {
        windows_.newDevice.Open(shownName);
        return &windows_.newDevice;
      }))
    return std::nullopt;
  std::string folder;
  OnGuiThread([&] { folder = windows_.newDevice.ChosenFolder(); }, true);
  if (closing_) return std::nullopt;
  return folder;
}

void QtUi::UploadDevicesChanged() {
  OnGuiThread([this] { mainWindow_.RefreshDevices(); }, false);
}

void QtUi::SetLastVirtualKey(int code) {
  OnGuiThread([this, code] { mainWindow_.SetLastVirtualKey(code); }, false);
}

}  // namespace fernpad::app
