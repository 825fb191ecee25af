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

#include "access/AccessControl.h"
#include "app/gui/MainWindow.h"
#include "app/gui/QtUi.h"
#include "app/gui/SmallWindows.h"

namespace fernpad::app {
namespace {

using namespace std::chrono_literals;
using Phase = std::pair<std::string, std::function<bool()>>;

// Plays the phases in turn from a timer on the GUI thread, so they go on inside any event loop a box may
// run. A phase returns true when it is done; one not done within 5 s fails and the play goes on. A last
// phase closes what is still open, so every waiting caller is released.
void Play(std::vector<Phase> phases) {
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

QMessageBox* OpenBox(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->windowTitle() == title)
      return box;
  return nullptr;
}

// Presses the box's accepting button; false while there is no such box.
bool Answer(const QString& title) {
  QMessageBox* box = OpenBox(title);
  if (!box) return false;
  box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok)->click();
  return true;
}

bool Ready(const std::future<void>& f) {
  return f.wait_for(0s) == std::future_status::ready;
}

class QtUiTest : public ::testing::Test {
 protected:
  QtUiTest() { QApplication::setApplicationName("Tactivo Server"); }
  settings::LiveSettings settings;
  TForm1 form{settings, [] { return std::string(); }};
  TPointerForm pointer;
  QtUi ui{form, pointer};
};

// A chat box and a security question, asked by two connections at the same time: each box blocks only the
// connection that asked, and each call returns when its own box is closed, in either order.
TEST_F(QtUiTest, EachBoxBlocksOnlyItsCaller) {
  const QString chat = "Tactivo Server", question = "Security question";
  const std::pair<QString, QString> orders[] = {{chat, question}, {question, chat}};
  for (const auto& [firstClosed, lastClosed] : orders) {
    SCOPED_TRACE(firstClosed.toStdString() + " closed first");
    std::future<void> chatCall, questionCall;
    std::optional<bool> allowed;
    auto callOf = [&](const QString& title) -> std::future<void>& {
      return title == chat ? chatCall : questionCall;
    };
    Play({
        {"the chat box opens",
         [&] {
           if (!chatCall.valid())
             chatCall = std::async(std::launch::async, [&] { ui.ShowMessage("Meeting at ten"); });
           return OpenBox(chat) != nullptr;
         }},
        {"the security question opens beside it",
         [&] {
           if (!questionCall.valid())
             questionCall = std::async(std::launch::async, [&] { allowed = ui.AskAllowHost("10.0.0.7"); });
           return OpenBox(question) != nullptr;
         }},
        {"the boxes leave the main window usable",
         [&] {
           if (!OpenBox(chat) || !OpenBox(question)) return false;
           EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
           EXPECT_EQ(OpenBox(chat)->text(), "Meeting at ten");
           EXPECT_EQ(OpenBox(chat)->standardButtons(), QMessageBox::Ok);
           QMessageBox* box = OpenBox(question);
           EXPECT_EQ(box->text(), QString::fromStdString(access::PromptText("10.0.0.7")));
           EXPECT_EQ(box->icon(), QMessageBox::Warning);
           EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
           return true;
         }},
        {"the first box is answered", [&] { return Answer(firstClosed); }},
        {"its call returns while the other box is still open",
         [&] {
           if (!Ready(callOf(firstClosed))) return false;
           EXPECT_FALSE(Ready(callOf(lastClosed)));
           EXPECT_NE(OpenBox(lastClosed), nullptr);
           return true;
         }},
        {"the other box is answered", [&] { return Answer(lastClosed); }},
        {"its call returns too", [&] { return Ready(callOf(lastClosed)); }},
    });
    chatCall.get();
    questionCall.get();
    EXPECT_EQ(allowed, true);
  }
}

TEST_F(QtUiTest, ShutdownReleasesTheWaitingCallersAndClosesTheirBoxes) {
  std::future<void> questionCall;
  std::optional<bool> allowed = true;
  Play({
      {"the security question opens",
       [&] {
         questionCall = std::async(std::launch::async, [&] { allowed = ui.AskAllowHost("10.0.0.8"); });
         return true;
       }},
      {"it is on screen", [&] { return OpenBox("Security question") != nullptr; }},
      {"the program closes",
       [&] {
         ui.BeginShutdown();
         return true;
       }},
      {"the caller is released and the box is gone",
       [&] { return Ready(questionCall) && OpenBox("Security question") == nullptr; }},
  });
  questionCall.get();
  EXPECT_EQ(allowed, std::nullopt);  // nobody answered: nothing is remembered
}

}  // namespace
}  // namespace fernpad::app
