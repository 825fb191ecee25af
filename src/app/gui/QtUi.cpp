#include "app/gui/QtUi.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <future>

#include "access/AccessControl.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SmallWindows.h"
#include "core/Cp1252.h"

namespace fernpad::app {

QtUi::QtUi(TForm1& mainWindow, TPointerForm& pointerForm)
    : mainWindow_(mainWindow), pointerForm_(pointerForm) {}

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
  // Shared with the box, which may still be open after a shutdown made this wait end early.
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> answered = answer->get_future();
  auto show = [this, make = std::move(make), answer] {
    QMessageBox* box = make();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);  // the main window and the other boxes stay usable
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    connect(box, &QMessageBox::finished, box, [answer](int button) mutable {
      if (answer) answer->set_value(button);  // once, however often the box reports
      answer.reset();
    });
    std::erase_if(boxes_, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
    boxes_.emplace_back(box);
    box->show();
    return box;
  };
  if (QThread::currentThread() == thread()) {
    // A caller on the GUI thread itself (none of the command paths is) can only wait in a loop of its own.
    QEventLoop loop;
    connect(show(), &QMessageBox::finished, &loop, &QEventLoop::quit);
    loop.exec();
  } else {
    QMetaObject::invokeMethod(
        this, [show = std::move(show)] { show(); }, Qt::QueuedConnection);
    if (!Await(answered)) return std::nullopt;
  }
  // A box deleted at shutdown never answers; closing_ is set before that.
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

void QtUi::SetLastVirtualKey(int code) {
  OnGuiThread([this, code] { mainWindow_.SetLastVirtualKey(code); }, false);
}

}  // namespace fernpad::app
