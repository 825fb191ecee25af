#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QScreen>
#include <QTabBar>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "Loopback.h"
#include "app/Placement.h"
#include "app/WebRemoteGroup.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SmallWindows.h"
#include "platform/fake/FakePlatform.h"
#include "settings/OptionsStore.h"
#include "settings/SettingsPaths.h"
#include "settings/WebRemoteSettings.h"
#include "upload/Devices.h"

namespace fernpad::app {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    settings.SetSaveHook([this](const settings::Options& o) {
      ++saves;
      saved = o;
    });
  }
  template <class T>
  T* Find(const char* name) {
    T* w = form.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  settings::LiveSettings settings;
  int saves = 0;
  settings::Options saved;
  TForm1 form{settings, [] { return std::string("192.168.1.20\r10.0.0.5"); }};
};

TEST_F(MainWindowTest, WindowPagesAndCaptions) {
  EXPECT_EQ(form.windowTitle(), "Fernpad Server");
  EXPECT_EQ(form.size(), QSize(643, 371));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  auto* pages = Find<QTabWidget>("PageControl1");
  ASSERT_EQ(pages->count(), 4);
  EXPECT_EQ(pages->tabText(0), "General settings");
  EXPECT_EQ(pages->tabText(1), "Access control");
  EXPECT_EQ(pages->tabText(2), "Debug");
  EXPECT_EQ(pages->tabText(3), "Image Upload (Snapferry WiFi)");
  EXPECT_EQ(pages->currentIndex(), 0);

  const std::pair<const char*, const char*> boxes[] = {
      {"CheckBox1", "Smooth image (needs more CPU time)"},
      {"CheckBox2", "Check on startup"},
      {"CheckBox3", "Start Fernpad Server with Windows"},
      {"CheckBox4", "Enable this box if the cursor jumps to the upper left corner of the screen"},
      {"CheckBox5", "Disable Access control"},
  };
  for (const auto& [name, caption] : boxes) EXPECT_EQ(Find<QCheckBox>(name)->text(), caption) << name;
  EXPECT_TRUE(Find<QCheckBox>("CheckBox4")->isHidden());
  EXPECT_TRUE(Find<QSpinBox>("SpinEdit1")->isHidden());
  EXPECT_EQ(Find<QSpinBox>("SpinEdit1")->value(), 12769);
  EXPECT_TRUE(Find<QPushButton>("Button1")->isHidden());
  EXPECT_EQ(Find<QPushButton>("Button1")->text(), "Apply");
  for (const char* del : {"Button2", "Button4"}) EXPECT_EQ(Find<QPushButton>(del)->text(), "Delete selected");
  for (const char* del : {"Button3", "Button5"}) EXPECT_EQ(Find<QPushButton>(del)->text(), "Delete all");
  EXPECT_EQ(Find<QLabel>("Label10")->text(), "0");
  EXPECT_EQ(Find<QLabel>("Label7")->text(), "The server IP(s) is / are: ");
  EXPECT_EQ(Find<QScrollBar>("ScrollBar1")->minimum(), 1);
  EXPECT_EQ(Find<QScrollBar>("ScrollBar1")->maximum(), 100);
  Find<QListWidget>("ListBox1");
  Find<QListWidget>("ListBox2");
  Find<QLineEdit>("Edit1");
  Find<QComboBox>("ComboBox1");
  Find<ColorSwatch>("Shape1");
  Find<QLabel>("BackendLabel");

  // Every fixed text of the window is there, exactly.
  QStringList texts;
  for (auto* label : form.findChildren<QLabel*>()) texts << label->text();
  for (auto* button : form.findChildren<QPushButton*>()) texts << button->text();
  for (const char* text :
       {"Fernpad Server is running.", "Minimize this window to keep the server running.",
        "Close this window to stop the server.", "Server port:", "Mouse acceleration:", "Pointer color",
        "Hosts allowed:", "Hosts denied:", "Virtual key:", "Country code:", "Keyboard layout name:",
        "Save received images to:", "...", "Device:", "Delete this device",
        "To add a device, just connect Snapferry WiFi with this server and start the image upload.",
        "Check for online updates now"})
    EXPECT_TRUE(texts.contains(text)) << text;

  if (const char* shot = std::getenv("FERNPAD_SCREENSHOT")) form.grab().save(shot);
}

TEST_F(MainWindowTest, LoadingFillsTheControlsWithoutSaving) {
  settings::Options o;
  o.MouseAcceleration = 42;
  o.SmoothImage = true;
  o.CheckUpdatesOnStartup = true;
  o.DisableAccessControl = true;
  o.AllowedHosts = {"10.0.0.1", "10.0.0.2"};
  o.DeniedHosts = {"10.0.0.9"};
  o.DefaultFolder = "D:";  // shorter than 3 characters: the box shows the fallback
  o.Devices = {{"id1", "Phone", "/pics"}};
  form.LoadControls(o, "/home/me/Pictures/");
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(Find<QScrollBar>("ScrollBar1")->value(), 42);
  EXPECT_TRUE(Find<QCheckBox>("CheckBox1")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("CheckBox5")->isChecked());
  EXPECT_EQ(Find<QListWidget>("ListBox1")->count(), 2);
  EXPECT_EQ(Find<QListWidget>("ListBox2")->item(0)->text(), "10.0.0.9");
  EXPECT_EQ(Find<QLineEdit>("Edit1")->text(), "/home/me/Pictures/");
  EXPECT_EQ(Find<QComboBox>("ComboBox1")->count(), 2);
  EXPECT_EQ(Find<QComboBox>("ComboBox1")->currentText(), "Default");
  EXPECT_TRUE(form.UpdateTimer->isActive());
}

TEST_F(MainWindowTest, EachControlChangeSavesTheWholeSettings) {
  Find<QCheckBox>("CheckBox1")->setChecked(true);
  EXPECT_EQ(saves, 1);
  EXPECT_TRUE(saved.SmoothImage);
  Find<QScrollBar>("ScrollBar1")->setValue(77);
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(saved.MouseAcceleration, 77);
  EXPECT_TRUE(saved.SmoothImage);
  Find<QCheckBox>("CheckBox3")->setChecked(true);
  Find<QCheckBox>("CheckBox5")->setChecked(true);
  EXPECT_EQ(saves, 4);
  EXPECT_TRUE(saved.StartWithWindows);
  EXPECT_TRUE(saved.DisableAccessControl);
  EXPECT_EQ(settings.MouseAcceleration(), 77);
}

TEST_F(MainWindowTest, DeleteButtonsRemoveFromListAndBoxAndSaveEachTime) {
  settings::Options o;
  o.AllowedHosts = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};
  o.DeniedHosts = {"10.0.0.9"};
  settings.Load(o);
  form.LoadControls(o, "/tmp/");
  auto* allowed = Find<QListWidget>("ListBox1");
  allowed->item(0)->setSelected(true);
  allowed->item(2)->setSelected(true);
  Find<QPushButton>("Button2")->click();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(saved.AllowedHosts, (std::vector<std::string>{"10.0.0.2", "10.0.0.4"}));
  ASSERT_EQ(allowed->count(), 2);
  EXPECT_EQ(allowed->item(0)->text(), "10.0.0.2");
  EXPECT_EQ(allowed->item(1)->text(), "10.0.0.4");

  allowed->clearSelection();
  Find<QPushButton>("Button2")->click();  // nothing selected: nothing deleted, saved all the same
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(saved.AllowedHosts.size(), 2u);

  Find<QPushButton>("Button5")->click();
  EXPECT_EQ(saves, 3);
  EXPECT_TRUE(saved.DeniedHosts.empty());
  EXPECT_EQ(Find<QListWidget>("ListBox2")->count(), 0);
  EXPECT_EQ(saved.AllowedHosts.size(), 2u);
}

// The upload page over the devices: what the user does on it, what it saves, and an upload's selection.
TEST_F(MainWindowTest, DevicePageShowsAndChangesTheDevices) {
  settings::Options o;
  o.DefaultFolder = "/srv/default/";
  o.Devices = {{"id1", "Phone", "/srv/phone/"}, {"id2", "Tablet", "/srv/tablet/"}};
  settings.Load(o);
  form.LoadControls(o, "/tmp/");
  upload::UploadDevices devices(settings, [](const std::string&) { return std::string("/srv/new"); });
  devices.LoadOptions("/tmp/");
  form.AttachDevices(&devices);
  QStringList starts;
  QString picked;
  form.PickFolder = [&](const QString& start) {
    starts << start;
    return picked;
  };
  auto* combo = Find<QComboBox>("ComboBox1");
  auto* folder = Find<QLineEdit>("Edit1");
  EXPECT_TRUE(folder->isReadOnly());
  EXPECT_EQ(Find<QPushButton>("Button7")->text(), "...");
  EXPECT_EQ(Find<QPushButton>("Button8")->text(), "Delete this device");

  // Selecting shows the entry's folder and saves nothing.
  emit combo->activated(2);
  EXPECT_EQ(folder->text(), "/srv/tablet/");
  EXPECT_EQ(saves, 0);
  // "..." starts on the folder shown; the chosen one gets its separator and is the selected device's.
  picked = "/srv/tablet2";
  form.Button7->click();
  EXPECT_EQ(starts.last(), "/srv/tablet/");
  EXPECT_EQ(folder->text(), "/srv/tablet2/");
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(saved.Devices[1].Folder, "/srv/tablet2/");
  EXPECT_EQ(saved.DefaultFolder, "/srv/default/");
  // Cancelled: nothing changes, nothing is saved.
  picked.clear();
  form.Button7->click();
  EXPECT_EQ(folder->text(), "/srv/tablet2/");
  EXPECT_EQ(saves, 1);
  // "Delete this device" on "Default" does nothing; on a device it removes it and saves.
  combo->setCurrentIndex(0);
  emit combo->activated(0);
  form.Button8->click();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(combo->count(), 3);
  emit combo->activated(1);
  form.Button8->click();
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(saved.Devices.size(), 1u);
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(1), "Tablet");
  EXPECT_EQ(combo->currentIndex(), -1);
  EXPECT_EQ(folder->text(), "/srv/phone/");  // kept
  // An upload from a new device adds it and the page shows it selected.
  devices.SelectOrAddDevice("id3", "Camera");
  form.RefreshDevices();
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_EQ(combo->currentText(), "Camera");
  EXPECT_EQ(folder->text(), "/srv/new/");
}

TEST_F(MainWindowTest, KeysPressedInTheWindowShowTheirCode) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(Find<QLineEdit>("Edit1"), &press);
  EXPECT_EQ(Find<QLabel>("Label10")->text(), "65");
  QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
  QApplication::sendEvent(&form, &shift);
  EXPECT_EQ(Find<QLabel>("Label10")->text(), "16");
}

TEST_F(MainWindowTest, TrayClickCentresOnTheFirstMonitorAndActivationShowsTheAddresses) {
  form.move(5000, 0);
  form.TrayIcon1Click();
  QApplication::processEvents();
  EXPECT_TRUE(form.isVisible());
  const QRect first = QGuiApplication::screens().first()->geometry();
  const Point expected = CenteredOn({first.x(), first.y(), first.width(), first.height()},
                                    {form.frameGeometry().width(), form.frameGeometry().height()});
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(expected.x, expected.y));
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&form, &activate);
  EXPECT_EQ(form.Label7->text(), "The server IP(s) is/are: 192.168.1.20\r10.0.0.5");
  EXPECT_TRUE(form.isVisible());  // the tray click's window stays
}

// The window bound to a real options file, as the program runs it.
TEST(MainWindowFile, TickingABoxRewritesTheFileAndLoadingDoesNot) {
  const auto dir = std::filesystem::temp_directory_path() / ("fernpad-gui-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "option.dat";
  settings::OptionsStore store(file, nullptr, "/tmp/");
  settings::Options stored;
  stored.MouseAcceleration = 30;
  stored.AllowedHosts = {"10.1.1.1"};
  store.SaveOptions(stored);
  const auto written = std::filesystem::last_write_time(file);
  const auto size = std::filesystem::file_size(file);

  settings::LiveSettings live;
  live.Load(store.LoadOptions());
  settings::ConnectSaveHook(live, store);
  TForm1 form{live, [] { return std::string(); }};
  form.LoadControls(live.Get(), store.FallbackFolder());
  EXPECT_EQ(form.ScrollBar1->value(), 30);
  EXPECT_EQ(std::filesystem::last_write_time(file), written);  // loading saved nothing

  form.CheckBox1->setChecked(true);
  settings::OptionsStore reread(file, nullptr, "/tmp/");
  const settings::Options after = reread.LoadOptions();
  EXPECT_TRUE(after.SmoothImage);
  EXPECT_EQ(after.MouseAcceleration, 30);
  EXPECT_EQ(after.AllowedHosts, std::vector<std::string>{"10.1.1.1"});
  EXPECT_EQ(std::filesystem::file_size(file), size);  // the same entries, one byte changed
  std::filesystem::remove_all(dir);
}

std::string FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Folder paths are this machine's own: stored as the file system's bytes (UTF-8) and shown decoded the same
// way. Names that came over the wire (device names and identifiers, host addresses) keep their
// Windows-1252 bytes and are shown as such. Loading the window and saving from it changes no byte of
// either; a folder typed into the box is stored as the file system's bytes.
TEST(MainWindowFile, FoldersAndWireNamesSurviveLoadingAndSavingUnchanged) {
  struct Case {
    const char* name;
    std::string storedFolder;  // "": none stored, the XDG pictures folder stands in
    std::optional<std::string> xdgPictures;
    settings::TSnapferryDevice device;
    std::string host;
    std::string shownFolder;  // UTF-8
    std::string shownDevice;
    std::string savedFolder;
  };
  const std::string pictures = "/home/u/\u0418\u0437\u043E\u0431\u0440\u0430\u0436\u0435\u043D\u0438\u044F";
  const Case cases[] = {
      // name, stored folder, XDG pictures folder, device, host, folder shown, device shown, folder saved
      {"a euro sign",
       "/home/u/Preise \u20AC/",
       std::nullopt,
       {"id-1", "Phone \x80", "/home/u/\u20AC/"},
       "10.0.0.\x80",
       "/home/u/Preise \u20AC/",
       "Phone \u20AC",
       "/home/u/Preise \u20AC/"},
      {"an e acute",
       "/home/u/Caf\u00E9/",
       std::nullopt,
       {"id-2", "Caf\xE9", "/home/u/Caf\u00E9/Phone/"},
       "10.0.0.2",
       "/home/u/Caf\u00E9/",
       "Caf\u00E9",
       "/home/u/Caf\u00E9/"},
      {"a Cyrillic folder",
       pictures + "/",
       std::nullopt,
       {"\x9F-id", "Tablet \x80\x9F", pictures + "/Tablet/"},
       "10.0.0.3",
       pictures + "/",
       "Tablet \u20AC\u0178",
       pictures + "/"},
      {"the XDG pictures folder named in Cyrillic",
       "",
       pictures,
       {"id-4", "Phone", "/srv/photos/"},
       "10.0.0.4",
       pictures + "/",
       "Phone",
       pictures + "/"},
      {"a folder that is not UTF-8",
       "C:\\Bilder \x80\\",
       std::nullopt,
       {"id-5", "Phone", "C:\\"},
       "10.0.0.5",
       "C:\\Bilder \uFFFD\\",
       "Phone",
       "C:\\Bilder \x80\\"},
  };
  const auto dir = std::filesystem::temp_directory_path() / ("fernpad-folders-" + std::to_string(getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto file = dir / "option.dat";
    if (c.xdgPictures)
      setenv("XDG_PICTURES_DIR", c.xdgPictures->c_str(), 1);
    else
      unsetenv("XDG_PICTURES_DIR");
    settings::OptionsStore store(file, nullptr, settings::DefaultUploadFolder());
    settings::Options stored;
    stored.DefaultFolder = c.storedFolder;
    stored.Devices = {c.device};
    stored.AllowedHosts = {c.host};
    store.SaveOptions(stored);
    const std::string original = FileBytes(file);

    settings::LiveSettings live;
    live.Load(store.LoadOptions());
    settings::ConnectSaveHook(live, store);
    TForm1 form{live, [] { return std::string(); }};
    form.LoadControls(live.Get(), store.FallbackFolder());
    EXPECT_EQ(form.Edit1->text().toStdString(), c.shownFolder);
    ASSERT_EQ(form.ComboBox1->count(), 2);
    EXPECT_EQ(form.ComboBox1->itemText(1).toStdString(), c.shownDevice);

    // Saves of another setting leave the folder, the device and the host as they were.
    form.CheckBox1->setChecked(true);
    form.CheckBox1->setChecked(false);
    settings::OptionsStore reread(file, nullptr, "/fallback/");
    settings::Options after = reread.LoadOptions();
    EXPECT_EQ(after.DefaultFolder, c.savedFolder);
    EXPECT_EQ(after.Devices, std::vector<settings::TSnapferryDevice>{c.device});
    EXPECT_EQ(after.AllowedHosts, std::vector<std::string>{c.host});
    if (!c.storedFolder.empty()) {
      EXPECT_EQ(FileBytes(file), original);
    }

    // A folder chosen anew is stored as the file system's bytes.
    if (c.shownFolder.find("\uFFFD") != std::string::npos) continue;
    upload::UploadDevices devices(live, nullptr);
    devices.LoadOptions(store.FallbackFolder());
    form.AttachDevices(&devices);
    QString picked = "/tmp";
    form.PickFolder = [&](const QString&) { return picked; };
    form.Button7->click();
    EXPECT_EQ(reread.LoadOptions().DefaultFolder, "/tmp/");
    picked = QString::fromStdString(c.shownFolder);
    form.Button7->click();
    after = reread.LoadOptions();
    EXPECT_EQ(after.DefaultFolder, c.savedFolder);
    EXPECT_EQ(after.Devices, std::vector<settings::TSnapferryDevice>{c.device});
  }
  unsetenv("XDG_PICTURES_DIR");
  std::filesystem::remove_all(dir);
}

// A listening socket on 127.0.0.1 that holds a port for as long as it lives.
class TakenPort {
 public:
  TakenPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), size) != 0 || listen(fd_, 1) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
      throw std::runtime_error("no port to take");
    port_ = ntohs(a.sin_port);
  }
  ~TakenPort() { Free(); }
  std::uint16_t Port() const { return port_; }
  void Free() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

TEST(MainWindowWebRemote, TheBoxesSwitchTheRemoteStoreTheChoiceAndSayWhyItCannotStart) {
  const auto dir = std::filesystem::temp_directory_path() / ("fernpad-gui-web-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  settings::OptionsStore store(dir / "option.dat", nullptr, "/tmp/");
  settings::LiveSettings live;
  live.Load(store.LoadOptions());
  FakePlatform platform;
  platform.SetAddresses({"192.168.1.20", "10.0.0.5"});
  NullUi ui;
  TakenPort taken;
  ServerOptions options;
  options.bindAddress = "127.0.0.1";
  options.httpPort = options.udpPort = options.uploadPort = 0;
  options.webPort = taken.Port();
  Server server(platform, ui, live, options);
  server.Start();
  WebRemoteGroup group(server, platform, store);
  TForm1 form(live, [] { return std::string(); });
  form.AttachWebRemote(&group);
  auto* remote = form.findChild<QCheckBox*>("WebRemoteBox");
  auto* keep = form.findChild<QCheckBox*>("KeepAddressBox");
  auto* addresses = form.findChild<QComboBox*>("WebAddressBox");
  auto* qr = form.findChild<QLabel*>("WebQrCode");
  auto* status = form.findChild<QLabel*>("WebStatus");
  ASSERT_TRUE(remote && keep && addresses && qr && status);
  EXPECT_EQ(remote->text(), "Browser remote");
  EXPECT_EQ(keep->text(), "Keep this address");
  const auto file = settings::WebRemoteSettingsPath(store.File());
  const std::string port = std::to_string(taken.Port());

  remote->click();
  EXPECT_FALSE(remote->isChecked());
  EXPECT_EQ(status->text().toStdString(), "TCP port " + port + ": Address already in use");
  EXPECT_EQ(server.WebPort(), 0);
  EXPECT_FALSE(settings::LoadWebRemoteSettings(file).enabled);

  taken.Free();
  remote->click();
  ASSERT_TRUE(remote->isChecked());
  EXPECT_EQ(server.WebPort(), taken.Port());
  EXPECT_EQ(test::HttpRequest(taken.Port(), "").substr(0, 15), "HTTP/1.0 200 OK");
  ASSERT_EQ(addresses->count(), 2);
  EXPECT_EQ(addresses->itemText(1).toStdString(), "http://10.0.0.5:" + port + "/#" + server.WebToken());
  EXPECT_FALSE(qr->pixmap().isNull());
  EXPECT_TRUE(keep->isEnabled());
  EXPECT_TRUE(settings::LoadWebRemoteSettings(file).enabled);
  EXPECT_EQ(settings::LoadWebRemoteSettings(file).token, "");

  keep->click();
  EXPECT_EQ(settings::LoadWebRemoteSettings(file).token, server.WebToken());

  remote->click();
  EXPECT_EQ(server.WebPort(), 0);
  EXPECT_FALSE(keep->isEnabled());
  EXPECT_TRUE(qr->isHidden());
  const auto stored = settings::LoadWebRemoteSettings(file);
  EXPECT_FALSE(stored.enabled);
  EXPECT_TRUE(stored.keepAddress);
  EXPECT_EQ(stored.token, server.WebToken());
  server.Stop();
  std::filesystem::remove_all(dir);
}

TEST(SmallWindows, OverlayAndImageWindowAsCreated) {
  TPointerForm overlay;
  EXPECT_EQ(overlay.size(), QSize(16, 16));
  EXPECT_TRUE(overlay.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(overlay.windowFlags() & Qt::WindowTransparentForInput);
  EXPECT_TRUE(overlay.windowFlags() & Qt::WindowDoesNotAcceptFocus);
  EXPECT_TRUE(overlay.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_FALSE(overlay.mask().contains(QPoint(0, 0)));  // round
  EXPECT_TRUE(overlay.mask().contains(QPoint(8, 8)));
  TImageForm image;
  EXPECT_EQ(image.geometry(), QRect(0, 0, 0, 0));
  EXPECT_EQ(image.palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_FALSE(image.isVisible());
  TForm4 preview;
  EXPECT_EQ(preview.windowTitle(), "Preview");
  EXPECT_EQ(preview.size(), QSize(105, 105));
  EXPECT_EQ(preview.Image1->geometry(), QRect(0, 0, 105, 105));
  EXPECT_TRUE(preview.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(preview.Timer1->interval(), 10000);
  EXPECT_FALSE(preview.Timer1->isActive());
  TForm5 newDevice;
  EXPECT_EQ(newDevice.size(), QSize(406, 398));
  EXPECT_TRUE(newDevice.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(newDevice.OkButton->isDefault());
  EXPECT_EQ(newDevice.DirectoryListBox1->size(), QSize(354, 137));
  EXPECT_EQ(newDevice.Label6->text(), QDir::toNativeSeparators(QDir::currentPath()));
  QStringList texts;
  for (auto* label : newDevice.findChildren<QLabel*>()) texts << label->text();
  for (const char* text : {"New device detected", "A new device wants to upload images to your computer.",
                           "Device name:", "Please, select a directory where the images should be saved:"})
    EXPECT_TRUE(texts.contains(text)) << text;
}

}  // namespace
}  // namespace fernpad::app

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
