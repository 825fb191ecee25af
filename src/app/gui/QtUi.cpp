#include "app/gui/QtUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <future>

#include "access/AccessControl.h"
#include "app/Cp1252.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SmallWindows.h"

namespace fernpad::app {

QtUi::QtUi(TForm1& mainWindow, TPointerForm& pointerForm)
    : mainWindow_(mainWindow), pointerForm_(pointerForm) {}

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
  while (!closing_ && finished.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
  }
}

void QtUi::ShowMessage(const std::string& text) {
  OnGuiThread(
      [text] {
        QMessageBox box(QMessageBox::Information, QApplication::applicationName(),
                        QString::fromStdString(Cp1252ToUtf8(text)), QMessageBox::Ok);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
      },
      true);
}

void QtUi::BringMainWindowToFront() {
  OnGuiThread(
      [this] {
        if (mainWindow_.isVisible()) mainWindow_.raise();
      },
      false);
}

std::optional<bool> QtUi::AskAllowHost(const std::string& address) {
  // Shared with the queued call, which may still run after a shutdown made this wait end early.
  auto allow = std::make_shared<std::atomic<bool>>(false);
  OnGuiThread(
      [this, allow, address] {
        QMessageBox box(QMessageBox::Warning, "Security question",
                        QString::fromStdString(Cp1252ToUtf8(access::PromptText(address))),
                        QMessageBox::Yes | QMessageBox::No, &mainWindow_);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        *allow = box.exec() == QMessageBox::Yes;
      },
      true);
  if (closing_) return std::nullopt;
  return allow->load();
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

void QtUi::SetLastVirtualKey(int code) {
  OnGuiThread([this, code] { mainWindow_.SetLastVirtualKey(code); }, false);
}

}  // namespace fernpad::app
