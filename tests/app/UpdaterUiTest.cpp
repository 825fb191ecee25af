#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../settings/TestSupport.h"
#include "../updater/UpdaterFixtures.h"
#include "GuiPlay.h"
#include "app/Placement.h"
#include "app/gui/MainWindow.h"
#include "app/gui/QtUpdaterUi.h"
#include "app/gui/UpdaterForm.h"

namespace fernpad::app {
namespace {

using guitest::OpenBox;
using guitest::Play;
using guitest::Ready;
using updater::BoxText;
using updater::CheckOutcome;
using updater::TransferProgress;

TEST(UpdaterForm, TextsPictureAndColours) {
  TUpdaterForm form;
  EXPECT_EQ(form.windowTitle(), "Update");
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  auto* title = form.findChild<QLabel*>("Label1");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), "        Software-Update");
  EXPECT_EQ(title->font().pixelSize(), 27);
  EXPECT_TRUE(title->font().family() == "Arial Black" || title->font().bold());
  ASSERT_NE(form.findChild<QLabel*>("Image1"), nullptr);
  EXPECT_FALSE(form.findChild<QLabel*>("Image1")->pixmap().isNull());
  EXPECT_EQ(form.PageControl1->currentWidget()->objectName(), "LoadingOld");
  QStringList texts;
  for (auto* label : form.PageControl1->currentWidget()->findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("Das Update wird geladen. Bitte warten."));
  EXPECT_EQ(form.Label5->text(), "0 %");
  EXPECT_TRUE(form.Label5->alignment() & Qt::AlignRight);
  EXPECT_EQ(form.CancelButton->text(), "Cancel");

  form.Open();
  QApplication::processEvents();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const Point centred = CenteredOn({screen.x(), screen.y(), screen.width(), screen.height()},
                                   {form.frameGeometry().width(), form.frameGeometry().height()});
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(centred.x, centred.y));
  // The white band across the top, the blue panel down the left (0x00C08000 as a Windows colour).
  const QImage shown = form.grab().toImage();
  EXPECT_EQ(shown.pixelColor(form.width() - 4, 4), QColor(Qt::white));
  EXPECT_EQ(shown.pixelColor(4, form.height() - 4), QColor(0, 128, 192));
}

TEST(UpdaterForm, ProgressShowsTheShareOrTheAmountReceived) {
  const QLocale english(QLocale::English, QLocale::UnitedStates), german(QLocale::German, QLocale::Germany);
  struct Case {
    const char* name;
    std::int64_t received, total;
    QLocale locale;
    QString text;
    double share;  // of the bar; -1: the bar only shows that something happens
  };
  const Case cases[] = {
      {"nothing yet", 0, 2000, english, "0.0 %", 0},
      {"a share", 850, 2000, english, "42.5 %", 0.425},
      {"a share in German", 850, 2000, german, "42,5 %", 0.425},
      {"all", 2000, 2000, english, "100.0 %", 1},
      {"more than 2 GiB", 3'000'000'000, 6'000'000'000, english, "50.0 %", 0.5},
      {"no size", 3'200'000, -1, english, "3.2 MB", -1},
      {"no size in German", 3'200'000, -1, german, "3,2 MB", -1},
      {"a few bytes of no size", 512, -1, english, "512 bytes", -1},
  };
  TUpdaterForm form;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TUpdaterForm::ProgressText(c.received, c.total, c.locale), c.text);
    QLocale::setDefault(c.locale);
    form.SetProgress(c.received, c.total);
    EXPECT_EQ(form.Label5->text(), c.text);
    const QProgressBar& bar = *form.ProgressBar1;
    if (c.share < 0) {
      EXPECT_EQ(bar.minimum(), 0);
      EXPECT_EQ(bar.maximum(), 0);
    } else {
      EXPECT_EQ(bar.minimum(), 0);
      EXPECT_GT(bar.maximum(), 0);
      EXPECT_DOUBLE_EQ(static_cast<double>(bar.value()) / bar.maximum(), c.share);
    }
  }
  QLocale::setDefault(QLocale::system());
}

class QtUpdaterUiTest : public ::testing::Test {
 protected:
  // Runs the call on a worker thread, as the check does.
  template <class F>
  static auto OnWorker(F call) {
    return std::async(std::launch::async, std::move(call));
  }
  QtUpdaterUi ui;
};

// The boxes belong to no window, leave the others usable, show the texts as they are with the icon asked
// for, and give the button pressed.
TEST_F(QtUpdaterUiTest, BoxesShowTheTextsAndGiveTheAnswer) {
  using Icon = updater::UpdaterUi::Icon;
  struct Case {
    const char* name;
    std::function<bool(updater::UpdaterUi&, const BoxText&)> call;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton press;
    bool answer;
  };
  auto box = [](Icon icon) {
    return [icon](updater::UpdaterUi& u, const BoxText& b) {
      u.ShowBox(b, icon);
      return false;
    };
  };
  auto ask = [](updater::UpdaterUi& u, const BoxText& b) { return u.AskYesNo(b); };
  const Case cases[] = {
      {"a warning", box(Icon::Warning), QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, false},
      {"a note", box(Icon::Information), QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, false},
      {"plain", box(Icon::None), QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, false},
      {"the offer taken", ask, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
       true},
      {"the offer declined", ask, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
       false},
  };
  const BoxText text{"Aktualisierung \u00FCber das Netz", "Version <b>2</b>\r\nist da."};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::future<bool> call;
    Play({
        {"the box opens",
         [&] {
           if (!call.valid()) call = OnWorker([&] { return c.call(ui, text); });
           return OpenBox(QString::fromUtf8(text.caption.c_str())) != nullptr;
         }},
        {"as asked, and is answered",
         [&] {
           QMessageBox* shown = OpenBox(QString::fromUtf8(text.caption.c_str()));
           EXPECT_EQ(shown->text(), "Version <b>2</b>\nist da.");
           EXPECT_EQ(shown->textFormat(), Qt::PlainText);
           EXPECT_EQ(shown->icon(), c.icon);
           EXPECT_EQ(shown->standardButtons(), c.buttons);
           EXPECT_EQ(shown->parentWidget(), nullptr);
           EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
           EXPECT_FALSE(Ready(call));
           shown->button(c.press)->click();
           return true;
         }},
        {"the call returns", [&] { return Ready(call); }},
    });
    EXPECT_EQ(call.get(), c.answer);
  }
}

// Each download opens the window reset; Cancel, the close box and Escape each make the next progress report
// stop the download; its end hides the window.
TEST_F(QtUpdaterUiTest, ClosingTheProgressWindowCancels) {
  TUpdaterForm& form = ui.Form();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  const std::pair<const char*, std::function<void()>> cancels[] = {
      {"Cancel", [&] { form.CancelButton->click(); }},
      {"the close box", [&] { form.close(); }},
      {"Escape", [&] { QApplication::sendEvent(&form, &escape); }},
  };
  for (const auto& [name, cancel] : cancels) {
    SCOPED_TRACE(name);
    auto started = OnWorker([&] { ui.DownloadStarted(); });
    Play({{"the window opens", [&] { return Ready(started); }}});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Label5->text(), "0 %");
    EXPECT_TRUE(ui.DownloadProgress({850, 2000}));
    EXPECT_EQ(form.Label5->text(), TUpdaterForm::ProgressText(850, 2000));
    cancel();
    EXPECT_FALSE(ui.DownloadProgress({900, 2000}));
    ui.DownloadEnded();
    EXPECT_FALSE(form.isVisible());
  }
}

// The installer goes to the launcher on the GUI thread, and the program's event loop ends.
TEST_F(QtUpdaterUiTest, HandOverLaunchesTheInstallerAndQuits) {
  std::vector<std::filesystem::path> launched;
  ui.Launch = [&](const std::filesystem::path& installer) {
    EXPECT_EQ(QThread::currentThread(), qApp->thread());
    launched.push_back(installer);
    return true;
  };
  auto call = OnWorker([&] { ui.HandOver("/home/u/.local/share/Ornivo/Update.deb"); });
  QTimer bound;  // ends the loop should the hand-over not
  bound.setSingleShot(true);
  QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  bound.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  call.get();
  EXPECT_EQ(launched, std::vector<std::filesystem::path>{"/home/u/.local/share/Ornivo/Update.deb"});
}

// The program closing while a check waits on the offer: the worker is released (the offer counts as
// declined, a download would stop), the box goes, the worker thread has ended, and no check starts after.
TEST(UpdateCheckThread, ShutdownReleasesAndEndsTheCheck) {
  UpdateCheckThread checks;
  std::optional<bool> taken, goesOn;
  ASSERT_TRUE(checks.Start([&](updater::UpdaterUi& ui) {
    taken = ui.AskYesNo({"Update", "Version 2 ist da."});
    goesOn = ui.DownloadProgress({1, 2});
    return CheckOutcome::Declined;
  }));
  Play({
      {"the offer is on screen", [&] { return OpenBox("Update") != nullptr; }},
      {"the program closes",
       [&] {
         checks.Shutdown();
         return true;
       }},
  });
  EXPECT_FALSE(checks.Running());
  EXPECT_EQ(OpenBox("Update"), nullptr);
  EXPECT_EQ(taken, false);
  EXPECT_EQ(goesOn, false);
  EXPECT_FALSE(checks.Start([](updater::UpdaterUi&) { return CheckOutcome::UpToDate; }));
}

// An update server behind the HTTP client: it offers a newer version (or fails every request) and sends the
// installer in small pieces until the download is cancelled.
struct FakeUpdateServer {
  std::mutex lock;
  bool fails = false;
  int requests = 0;
  bool cancelled = false;
};

class FakeHttpClient : public updater::HttpClient {
 public:
  explicit FakeHttpClient(std::shared_ptr<FakeUpdateServer> server) : server_(std::move(server)) {}
  std::string Get(const std::string&) override {
    std::lock_guard lock(server_->lock);
    ++server_->requests;
    if (server_->fails) throw updater::HttpError("no route to host");
    return "99.0.0.0\r\n";
  }
  void Download(const std::string&, const std::filesystem::path& file,
                const std::function<bool(const updater::TransferProgress&)>& progress) override {
    std::ofstream(file) << "the first bytes";
    constexpr std::int64_t kSize = 100'000'000, kPiece = 10'000;
    for (std::int64_t received = kPiece; received < kSize; received += kPiece) {
      if (!progress({received, kSize})) {
        std::lock_guard lock(server_->lock);
        server_->cancelled = true;
        throw updater::TransferCancelled("cancelled");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    throw updater::HttpError("the connection was closed");
  }

 private:
  std::shared_ptr<FakeUpdateServer> server_;
};

bool AnyBoxOpen() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return true;
  return false;
}

// The main window's checks against the fake server.
class MainWindowUpdateTest : public ::testing::Test {
 protected:
  MainWindowUpdateTest() {
    form.UpdaterConfigSource = [server = server, folder = folder.path().toStdString()] {
      updater::UpdaterConfig config;
      config.countryCode = 49;
      config.installedVersion = "0.1.0.0";
      config.baseUrl = "https://updates.example/";
      config.publicKeys = {"RWQBAgMEBQYHCAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"};
      config.dataFolder = folder;
      config.makeClient = [server](const settings::UpdaterSettings&) {
        return std::make_unique<FakeHttpClient>(server);
      };
      return config;
    };
    QObject::connect(&form.UpdateCheck(), &UpdateCheckThread::Finished,
                     [this](CheckOutcome o) { outcomes.push_back(o); });
    form.show();
  }
  bool OnTop() const { return form.windowFlags() & Qt::WindowStaysOnTopHint; }
  // The offer box, once it shows the offer of the fake server's version.
  QMessageBox* Offer() {
    QMessageBox* box = OpenBox("Update");
    if (!box) return nullptr;
    const auto offer = updater::OfferBox(49, settings::kProgramName, "0.1.0.0", "99.0.0.0");
    EXPECT_EQ(box->windowTitle().toStdString(), offer.caption);
    EXPECT_EQ(box->text(), QString::fromStdString(offer.text).replace("\r\n", "\n"));
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    return box;
  }

  QTemporaryDir folder;
  std::shared_ptr<FakeUpdateServer> server = std::make_shared<FakeUpdateServer>();
  settings::LiveSettings settings;
  TForm1 form{settings, [] { return std::string(); }};
  std::vector<CheckOutcome> outcomes;
};

// "Check for online updates now": the window is a normal one while the offer is asked (pressing again does
// nothing), and stays on top again once it is declined.
TEST_F(MainWindowUpdateTest, DecliningTheOfferEndsTheCheckWithTheWindowOnTopAgain) {
  ASSERT_TRUE(OnTop());
  auto* button = form.findChild<QPushButton*>("Button6");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Check for online updates now");
  Play({
      {"the button starts the check",
       [&] {
         button->click();
         return true;
       }},
      {"the offer appears; the button is pressed again",
       [&] {
         if (!Offer()) return false;
         EXPECT_FALSE(OnTop());
         EXPECT_TRUE(form.isVisible());
         button->click();
         return true;
       }},
      {"the offer is declined",
       [&] {
         Offer()->button(QMessageBox::No)->click();
         return true;
       }},
      {"the check ends", [&] { return outcomes.size() == 1; }},
  });
  EXPECT_EQ(outcomes, std::vector<CheckOutcome>{CheckOutcome::Declined});
  EXPECT_TRUE(OnTop());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(server->requests, 1);
}

// Taking the offer: the progress window follows the download, Cancel stops it at the server and the check
// ends with the window on top again.
TEST_F(MainWindowUpdateTest, CancelStopsTheDownloadOfTheOfferTaken) {
  TUpdaterForm& progress = form.UpdateCheck().Ui().Form();
  Play({
      {"the offer appears",
       [&] {
         if (!form.UpdateCheck().Running()) form.Button6Click();
         return Offer() != nullptr;
       }},
      {"the offer is taken",
       [&] {
         Offer()->button(QMessageBox::Yes)->click();
         return true;
       }},
      {"the progress window shows the download coming in",
       [&] { return progress.isVisible() && progress.ProgressBar1->value() > 0; }},
      {"Cancel is pressed",
       [&] {
         EXPECT_FALSE(OnTop());
         progress.CancelButton->click();
         return true;
       }},
      {"the check ends", [&] { return outcomes.size() == 1; }},
  });
  EXPECT_EQ(outcomes, std::vector<CheckOutcome>{CheckOutcome::Cancelled});
  EXPECT_TRUE(server->cancelled);
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(OnTop());
  EXPECT_TRUE(form.isVisible());
}

// "Check on startup": the timer's check runs once and says nothing about a failed request.
TEST_F(MainWindowUpdateTest, StartupCheckRunsOnceAndSilently) {
  server->fails = true;
  settings::Options options;
  options.CheckUpdatesOnStartup = true;
  form.LoadControls(options, "/tmp/");
  ASSERT_TRUE(form.UpdateTimer->isActive());
  Play({
      {"the timer's check ends without a box",
       [&] {
         EXPECT_FALSE(AnyBoxOpen());
         return outcomes.size() == 1;
       }},
  });
  EXPECT_EQ(outcomes, std::vector<CheckOutcome>{CheckOutcome::Failed});
  EXPECT_FALSE(form.UpdateTimer->isActive());
  EXPECT_EQ(server->requests, 1);
  EXPECT_TRUE(OnTop());
}

// The whole way in the GUI against the loopback update server, through the real HTTP client: the offer is
// taken, the progress window follows the download, the signed installer is verified and handed over.
TEST(MainWindowUpdateLoopback, TheVerifiedInstallerIsHandedOver) {
  namespace ut = updater::testing;
  QTemporaryDir dir;
  const std::filesystem::path site = dir.filePath("site").toStdString();
  const std::filesystem::path data = dir.filePath("data").toStdString();
  std::filesystem::create_directories(site / "FernpadServer");
  std::filesystem::create_directories(data);
  const ut::KeyPair key = ut::MakeKeyPair(dir.path().toStdString(), "release");
  const std::string payload(200 * 1024, 'p');
  const auto installer = site / "FernpadServer" / updater::InstallerName();
  ut::WriteText(site / "updates.php", "0.2.0.0\r\n");
  ut::WriteText(installer, payload);
  ut::WriteText(installer.string() + ".minisig", ut::Sign(installer, key, "FernpadServer 0.2.0.0"));
  const settings::testing::ScopedEnv noProxy{"http_proxy", std::nullopt};  // straight to the loopback server
  ut::UpdateServer server(site, dir.filePath("requests.log").toStdString(), {});

  settings::LiveSettings settings;
  TForm1 form{settings, [] { return std::string(); }};
  form.UpdaterConfigSource = [&] {
    updater::UpdaterConfig config;
    config.countryCode = 1;
    config.installedVersion = "0.1.0.0";
    config.baseUrl = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    config.publicKeys = {key.publicLine};
    config.dataFolder = data;
    return config;
  };
  std::vector<std::filesystem::path> launched;
  form.UpdateCheck().Ui().Launch = [&](const std::filesystem::path& file) {
    launched.push_back(file);
    return true;
  };
  std::vector<CheckOutcome> outcomes;
  QObject::connect(&form.UpdateCheck(), &UpdateCheckThread::Finished,
                   [&](CheckOutcome o) { outcomes.push_back(o); });
  Play({
      {"the offer of 0.2.0.0 appears",
       [&] {
         if (!form.UpdateCheck().Running() && outcomes.empty()) form.Button6Click();
         QMessageBox* box = OpenBox("Update");
         return box && box->text().contains("Available version: 0.2.0.0");
       }},
      {"it is taken",
       [&] {
         OpenBox("Update")->button(QMessageBox::Yes)->click();
         return true;
       }},
      {"the download is verified and the hand-over announced",
       [&] {
         QMessageBox* box = OpenBox("Update");
         if (!box || box->text().contains("Available version")) return false;
         box->button(QMessageBox::Ok)->click();
         return true;
       }},
      {"the check ends", [&] { return outcomes.size() == 1; }},
  });
  EXPECT_EQ(outcomes, std::vector<CheckOutcome>{CheckOutcome::HandedOver});
  ASSERT_EQ(launched, std::vector<std::filesystem::path>{data / updater::InstallerName()});
  EXPECT_EQ(ut::ReadText(launched[0]), payload);
  EXPECT_FALSE(std::filesystem::exists(data / (updater::InstallerName() + ".part")));
  EXPECT_FALSE(form.UpdateCheck().Ui().Form().isVisible());
}

}  // namespace
}  // namespace fernpad::app
