#include "app/gui/GuiCalls.h"

#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <memory>

namespace fernpad::app {

template <class T>
bool GuiCalls::Await(std::future<T>& future) const {
  while (!closing_)
    if (future.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready) return true;
  return false;
}

void GuiCalls::BeginShutdown() {
  closing_ = true;
  for (const QPointer<QMessageBox>& box : boxes_) delete box.data();
  boxes_.clear();
}

void GuiCalls::OnGuiThread(std::function<void()> work, bool wait) {
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

std::optional<int> GuiCalls::AskInBox(std::function<QMessageBox*()> make) {
  return WaitForDialog([this, make = std::move(make)] {
    QMessageBox* box = make();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    std::erase_if(boxes_, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
    boxes_.emplace_back(box);
    box->show();
    return box;
  });
}

std::optional<int> GuiCalls::WaitForDialog(std::function<QDialog*()> open) {
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

}  // namespace fernpad::app
