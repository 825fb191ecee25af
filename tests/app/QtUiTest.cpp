#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "GuiPlay.h"
#include "access/AccessControl.h"
#include "app/gui/MainWindow.h"
#include "app/gui/QtUi.h"
#include "app/gui/SmallWindows.h"

namespace fernpad::app {
namespace {

using namespace std::chrono_literals;
using guitest::OpenBox;
using guitest::Play;
using guitest::Ready;

// Presses the box's accepting button; false while there is no such box.
bool Answer(const QString& title) {
  QMessageBox* box = OpenBox(title);
  if (!box) return false;
  box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok)->click();
  return true;
}

class QtUiTest : public ::testing::Test {
 protected:
  QtUiTest() { QApplication::setApplicationName("Tactivo Server"); }
  settings::LiveSettings settings;
  TForm1 form{settings, [] { return std::string(); }};
  TPointerForm pointer;
  TImageForm image;
  TForm4 preview;
  TForm5 newDevice;
  QtUi ui{{form, pointer, image, preview, newDevice}};
};

// A chat box and a security question, asked by two connections at the same time: each box blocks only the
// connection that asked, and each call returns when its own box is closed, in either order.
TEST_F(QtUiTest, EachBoxBlocksOnlyItsCaller) {
  const QString chat = "Tactivo Server", question = "Security question";
  const std::pair<QString, QString> orders[] = {{chat, question}, {question, chat}};
  for (const auto& order : orders) {
    const QString firstClosed = order.first, lastClosed = order.second;  // captured below: no bindings
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

// A 64 x 32 photo, red on the left half and green on the right, as a file of the given name.
std::string HalfPhoto(const QString& folder, const QString& name) {
  QImage photo(64, 32, QImage::Format_RGB32);
  photo.fill(Qt::red);
  for (int y = 0; y < 32; ++y)
    for (int x = 32; x < 64; ++x) photo.setPixelColor(x, y, Qt::green);
  const QString path = folder + "/" + name;
  photo.save(path, "JPEG", 95);
  return path.toStdString();
}

bool Reddish(QColor c) {
  return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}
bool Greenish(QColor c) {
  return c.green() > 200 && c.red() < 60 && c.blue() < 60;
}

// The full-screen picture and the preview: on the main window's monitor, fitted with their aspect, kept when
// a file cannot be shown, and the preview closes when its timer runs out.
TEST_F(QtUiTest, PhotoWindowsShowThePictureOnTheMainWindowsMonitor) {
  QTemporaryDir dir;
  const std::string photo = HalfPhoto(dir.path(), "photo.JPG");
  const QRect monitor = QGuiApplication::primaryScreen()->geometry();

  ui.ShowImage(photo);
  QApplication::processEvents();
  EXPECT_TRUE(image.isVisible());
  EXPECT_EQ(image.geometry(), monitor);
  QImage shown = image.grab().toImage();
  // 2:1 on the monitor: as wide as the monitor, centred, black above and below.
  const int band = (monitor.height() - monitor.width() / 2) / 2;
  EXPECT_EQ(shown.pixelColor(monitor.width() / 2, band / 2), QColor(Qt::black));
  EXPECT_TRUE(Reddish(shown.pixelColor(monitor.width() / 4, monitor.height() / 2)));
  EXPECT_TRUE(Greenish(shown.pixelColor(monitor.width() * 3 / 4, monitor.height() / 2)));
  for (const char* unshowable : {"missing.jpg", "photo.txt"}) {
    std::ofstream(dir.filePath(unshowable).toStdString()) << "not a picture";
    ui.ShowImage(dir.filePath(unshowable).toStdString());
    QApplication::processEvents();
    EXPECT_EQ(image.Image1->Picture().size(), QSize(64, 32)) << unshowable;  // the picture before stays
  }
  ui.CloseImage();
  QApplication::processEvents();
  EXPECT_FALSE(image.isVisible());
  ui.ShowImage(photo);
  QApplication::processEvents();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&image, &escape);  // the user closes it without the handheld
  EXPECT_FALSE(image.isVisible());

  ui.ShowPreview(photo);
  QApplication::processEvents();
  EXPECT_TRUE(preview.isVisible());
  EXPECT_EQ(preview.frameGeometry().bottomRight(), monitor.bottomRight() - QPoint(0, 25));
  EXPECT_TRUE(preview.Timer1->isActive());
  shown = preview.grab().toImage();
  EXPECT_TRUE(Reddish(shown.pixelColor(26, 52)));
  EXPECT_TRUE(Greenish(shown.pixelColor(78, 52)));
  EXPECT_EQ(shown.pixelColor(52, 10), QColor(Qt::black));
  // A file that cannot be shown keeps the picture and does not restart the timer.
  preview.Timer1->stop();
  ui.ShowPreview(dir.filePath("missing.jpg").toStdString());
  QApplication::processEvents();
  EXPECT_FALSE(preview.Timer1->isActive());
  EXPECT_FALSE(preview.Image1->Picture().isNull());
  // The timer closes the preview and runs on.
  preview.Timer1->setInterval(20);
  ui.ShowPreview(photo);
  Play({{"the preview closes", [&] { return !preview.isVisible(); }}});
  EXPECT_TRUE(preview.Timer1->isActive());
}

// The new-device dialog names the device, gives the folder chosen in it, and opens there the next time;
// closing it with the close box gives the folder as "OK" does.
TEST_F(QtUiTest, NewDeviceDialogGivesTheChosenFolder) {
  QTemporaryDir dir;
  const QString chosen = QDir(dir.path()).canonicalPath();
  std::future<std::optional<std::string>> first, second;
  Play({
      {"the dialog opens for the device",
       [&] {
         if (!first.valid())
           first = std::async(std::launch::async, [&] { return ui.AskDeviceFolder("Caf\xE9", "/unused/"); });
         return newDevice.isVisible();
       }},
      {"it names the device; a folder is chosen and OK pressed",
       [&] {
         EXPECT_EQ(newDevice.Label4->text(), QString::fromUtf8("Caf\u00E9"));
         newDevice.SelectFolder(chosen);
         EXPECT_EQ(newDevice.Label6->text(), QDir::toNativeSeparators(chosen));
         newDevice.OkButton->click();
         return true;
       }},
      {"the caller gets the folder", [&] { return first.wait_for(0s) == std::future_status::ready; }},
      {"the dialog opens again",
       [&] {
         if (!second.valid())
           second = std::async(std::launch::async, [&] { return ui.AskDeviceFolder("Tablet", "/unused/"); });
         return newDevice.isVisible();
       }},
      {"on the folder chosen before, and is closed",
       [&] {
         EXPECT_EQ(newDevice.Label6->text(), QDir::toNativeSeparators(chosen));
         newDevice.close();
         return true;
       }},
      {"the caller gets the folder", [&] { return second.wait_for(0s) == std::future_status::ready; }},
  });
  EXPECT_EQ(first.get(), chosen.toStdString());
  EXPECT_EQ(second.get(), chosen.toStdString());
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
