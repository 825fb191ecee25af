#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/WebRemoteGroup.h"
#include "settings/LiveSettings.h"
#include "updater/Updater.h"

namespace fernpad::upload {
class UploadDevices;
}

namespace fernpad::app {

class UpdateCheckThread;

// The colour swatch of the pointer: a 15 x 15 circle with a hand cursor.
class ColorSwatch : public QWidget {
  Q_OBJECT
 public:
  explicit ColorSwatch(QWidget* parent = nullptr);
  void SetColor(const QColor& color);
  QColor Color() const { return color_; }
 signals:
  void pressed();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  QColor color_ = Qt::white;
};

// The main window: the settings pages, the address line and the tray icon. It hides itself as soon as it
// first becomes active; the tray icon shows it again, minimising hides it, closing it ends the program.
class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // addresses: returns the address line's addresses (called on every activation).
  TForm1(settings::LiveSettings& settings, std::function<std::string()> addresses);
  // Ends a running update check first (EndUpdateCheck).
  ~TForm1() override;

  // Fills the controls from the settings without saving; the folder box shows fallbackFolder when the
  // stored folder is shorter than 3 characters.
  void LoadControls(const settings::Options& options, const std::string& fallbackFolder);
  // From now on the upload page shows and changes these devices and destination folder.
  void AttachDevices(upload::UploadDevices* devices);
  // Shows the devices, the selected entry and the destination folder anew.
  void RefreshDevices();
  // From now on the "Browser remote" group shows and switches this browser remote.
  void AttachWebRemote(WebRemoteGroup* group);
  // The browser remote's boxes, addresses and QR code as the state says.
  void ShowWebRemote(const WebRemoteGroup::State& state);
  // The folder picker of "...": gets the folder to start from, gives the chosen one or the empty text when
  // the user cancelled. The desktop's folder dialog unless replaced.
  std::function<QString(const QString& start)> PickFolder;
  void SetCountryAndLayout(int countryCode, const QString& layoutName);
  // Which backend injects input and reads the screen, and what the user should know of it (General page).
  void SetBackend(const QString& description);
  void SetLastVirtualKey(int code);
  // Refills both host list boxes from the settings.
  void RefreshHostLists();
  // The tray icon's click: centre on the first monitor, show and bring to the front.
  void TrayIcon1Click();
  // Centres the window's frame on the first monitor, and again once the window manager has framed it (the
  // frame's size is only known then).
  void CentreOnFirstMonitor();
  bool TrayAvailable() const { return trayAvailable_; }
  QSystemTrayIcon* TrayIcon() { return TrayIcon1; }

  // What an update check needs; called on the check's worker thread as each check starts. Without it the
  // window starts no check.
  std::function<updater::UpdaterConfig()> UpdaterConfigSource;
  // "Check for online updates now": the check with all its boxes.
  void Button6Click();
  // The start-up check, a second after the controls were loaded with "Check on startup" ticked: once, and
  // silent about a failed request, no update or no update server.
  void UpdateTimerTimer();
  // Releases a check waiting on a box or downloading and waits for its thread; no check starts afterwards.
  // Before the windows go.
  void EndUpdateCheck();
  UpdateCheckThread& UpdateCheck() { return *updateCheck_; }

 signals:
  // The user picked a new pointer colour (the overlay takes it at once).
  void PointerColorChanged(const QColor& color);

 protected:
  bool event(QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QWidget* BuildGeneralPage();
  QGroupBox* BuildWebRemoteGroup(QWidget* page);
  QWidget* BuildAccessPage();
  QWidget* BuildDebugPage();
  QWidget* BuildUploadPage();
  void FormActivate();
  // Follows a tray that comes or goes while the program runs (a panel started after the program, or ended).
  void TrayAvailabilityChanged(bool available);
  void MoveFrameToCentre();
  void FillHostLists(const settings::Options& o);
  void SettingsChanged();
  // Fills the upload page; folders are shown decoded from the file system's bytes (FolderText.h).
  void FillDevicePage(const std::vector<settings::TSnapferryDevice>& devices, int selected,
                      const std::string& folder);
  void Button7Click();
  // The QR code of the address picked in the address box.
  void ShowWebQrCode();
  // While a check runs the window is a normal one, so the check's boxes and windows and then the installer
  // can come in front of it; it stays on top again once the check has ended. One check at a time.
  void StartUpdateCheck(bool silent);
  void SetStayOnTop(bool onTop);

  settings::LiveSettings& settings_;
  std::function<std::string()> addresses_;
  bool loading_ = false;
  bool firstActivation_ = true;
  bool untouched_ = true;  // nobody has used the window since the start
  bool trayAvailable_ = false;
  upload::UploadDevices* devices_ = nullptr;
  WebRemoteGroup* webRemote_ = nullptr;
  bool centring_ = false;  // shown centred: centre again when the frame turns out to have another size
  QSize centredFrame_;     // the frame size the window was last centred with
  QTimer* trayWatch_ = nullptr;
  std::unique_ptr<UpdateCheckThread> updateCheck_;

 public:
  QLabel* Label7 = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QScrollBar* ScrollBar1 = nullptr;
  ColorSwatch* Shape1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;
  // The browser remote group.
  QCheckBox* WebRemoteBox = nullptr;
  QCheckBox* KeepAddressBox = nullptr;
  QComboBox* WebAddressBox = nullptr;  // the addresses, selectable for copying
  QLabel* WebQrCode = nullptr;
  QLabel* WebStatus = nullptr;
  QCheckBox* CheckBox4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QListWidget* ListBox2 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* BackendLabel = nullptr;
  QLabel* Label19 = nullptr;
  QLabel* Label21 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button7 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* UpdateNowButton = nullptr;  // Button6
  QTimer* UpdateTimer = nullptr;
  QSystemTrayIcon* TrayIcon1 = nullptr;
};

}  // namespace fernpad::app
