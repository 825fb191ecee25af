#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

// Driving the Qt front end from a test while other threads wait on its windows.
namespace fernpad::app::guitest {

using Phase = std::pair<std::string, std::function<bool()>>;

// Plays the phases in turn from a timer on the GUI thread, so they go on inside any event loop a box may
// run. A phase returns true when it is done; one not done within 5 s fails and the play goes on. A last
// phase closes what is still open, so every waiting caller is released.
inline void Play(std::vector<Phase> phases) {
  using namespace std::chrono_literals;
  phases.emplace_back("close what is left", [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->buttons().first()->click();
    return true;
  });
  std::size_t at = 0;
  auto since = std::chrono::steady_clock::now();
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (at == phases.size()) return;
    const bool done = phases[at].second();
    if (!done && std::chrono::steady_clock::now() - since < 5s) return;
    EXPECT_TRUE(done) << phases[at].first;
    ++at;
    since = std::chrono::steady_clock::now();
  });
  timer.start(10);
  while (at < phases.size()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The visible box of that caption, or nullptr.
inline QMessageBox* OpenBox(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->windowTitle() == title)
      return box;
  return nullptr;
}

template <class T>
bool Ready(const std::future<T>& f) {
  return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

}  // namespace fernpad::app::guitest
