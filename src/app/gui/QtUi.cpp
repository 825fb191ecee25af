#include "app/gui/QtUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "access/AccessControl.h"
#include "app/Placement.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SmallWindows.h"
#include "core/Cp1252.h"

namespace fernpad::app {

QtUi::QtUi(QtWindows windows)
    : mainWindow_(windows.mainWindow), pointerForm_(windows.pointerForm), windows_(windows) {}

void QtUi::BeginShutdown() {
  calls_.BeginShutdown();
  windows_.newDevice.hide();
}

std::optional<int> QtUi::AskInBox(std::function<QMessageBox*()> make) {
  return calls_.AskInBox([make = std::move(make)] {
    QMessageBox* box = make();
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    return box;
  });
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
    return new QMessageBox(QMessageBox::Warning, access::kPromptCaption,
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
  if (!calls_.WaitForDialog([this, shownName] {
        windows_.newDevice.Open(shownName);
        return &windows_.newDevice;
      }))
    return std::nullopt;
  std::string folder;
  OnGuiThread([&] { folder = windows_.newDevice.ChosenFolder(); }, true);
  if (calls_.Closing()) return std::nullopt;
  return folder;
}

void QtUi::UploadDevicesChanged() {
  OnGuiThread([this] { mainWindow_.RefreshDevices(); }, false);
}

void QtUi::SetLastVirtualKey(int code) {
  OnGuiThread([this, code] { mainWindow_.SetLastVirtualKey(code); }, false);
}

}  // namespace fernpad::app
