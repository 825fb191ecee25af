// The Windows front end's update checks as a user meets them, against update_server.py on the Linux side
// of wine (with_update_server.py starts it: "updates.php" answers 0.2.0.0, the signed installer is served).
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "../settings/TestSupport.h"
#include "ProgramSupport.h"
#include "app/win/MainForm.h"
#include "app/win/WinUpdaterUi.h"
#include "settings/OptionsStore.h"
#include "updater/HttpClient.h"

namespace fernpad::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using settings::testing::FolderListing;
using settings::testing::TempDir;
using updater::CheckOutcome;
using wintest::ClassOf;
using wintest::FindWindowOf;
using wintest::PumpUntil;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::wstring TextOf(HWND window, int item = 0) {
  wchar_t text[1024] = {};
  if (item != 0)
    ::GetDlgItemTextW(window, item, text, 1024);
  else
    ::GetWindowTextW(window, text, 1024);
  return text;
}

// A message box of the process whose text contains `part`; null when none is open.
HWND OpenBox(DWORD process, const std::wstring& part) {
  return FindWindowOf(process, [&](HWND w) {
    return ClassOf(w) == L"#32770" && ::IsWindowVisible(w) &&
           TextOf(w, 0xFFFF).find(part) != std::wstring::npos;
  });
}

void Click(HWND button) {
  ::SendMessageW(button, BM_CLICK, 0, 0);
}

// How many requests of the log name `part`.
int Requests(const std::string& part) {
  std::ifstream log(Env("FERNPAD_TEST_LOG"));
  int count = 0;
  for (std::string line; std::getline(log, line);) count += line.find(part) != std::string::npos ? 1 : 0;
  return count;
}

// The real client, whose download stops at its first bytes until the progress window says stop (at most
// 20 s): a slow line, so that a person can press Cancel in the middle.
class HeldDownload : public updater::HttpClient {
 public:
  explicit HeldDownload(std::atomic<bool>& held) : real_(updater::MakeHttpClient({})), held_(held) {}
  std::string Get(const std::string& url) override { return real_->Get(url); }
  void Download(const std::string& url, const fs::path& file,
                const std::function<bool(const updater::TransferProgress&)>& progress) override {
    real_->Download(url, file, [&](const updater::TransferProgress& p) {
      if (p.received == 0 || !progress(p)) return progress(p);
      held_ = true;
      for (int i = 0; i < 2000 && progress(p); ++i) std::this_thread::sleep_for(10ms);
      return progress(p);
    });
  }

 private:
  std::unique_ptr<updater::HttpClient> real_;
  std::atomic<bool>& held_;
};

// A main window shown as the tray shows it, with its update checks going to the test server in English.
class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() {
    form_.TrayIcon1Click();
    checks_.Finished = [this](CheckOutcome o) { outcomes_.push_back(o); };
    checks_.Ui().Launch = [](const fs::path&) { return true; };
    checks_.Ui().EndProgram = [this] { ++programEnds_; };
  }
  void SetUp() override {
    ASSERT_FALSE(Env("FERNPAD_TEST_HTTP_PORT").empty()) << "run through with_update_server.py";
  }
  void Serve(const std::string& installed, std::atomic<bool>* held = nullptr) {
    checks_.UpdaterConfigSource = [=, this] {
      updater::UpdaterConfig config;
      config.countryCode = 1;
      config.installedVersion = installed;
      config.baseUrl = "http://127.0.0.1:" + Env("FERNPAD_TEST_HTTP_PORT") + "/";
      config.publicKeys = {Env("FERNPAD_TEST_PUBLIC_KEY")};
      config.dataFolder = data_.Path();
      if (held != nullptr)
        config.makeClient = [held](const settings::UpdaterSettings&) {
          return std::make_unique<HeldDownload>(*held);
        };
      return config;
    };
  }
  bool OnTop() const { return ::GetWindowLongPtrW(form_.Window(), GWL_EXSTYLE) & WS_EX_TOPMOST; }
  HWND Box(const std::wstring& part) const { return OpenBox(::GetCurrentProcessId(), part); }

  TempDir data_;
  settings::LiveSettings live_;
  TForm1 form_{live_, [] { return std::string("10.0.0.5"); }};
  WinUpdateCheck checks_{form_};
  std::vector<CheckOutcome> outcomes_;
  int programEnds_ = 0;
};

// "Check for online updates now": the box that answers it; the window is a normal one while it is open
// (pressing again starts nothing) and on top again once the check has ended; the program goes on.
TEST_F(UpdateCheckTest, Button6ShowsTheAnswerAndTheProgramGoesOn) {
  struct Case {
    const char* name;
    const char* installed;
    const wchar_t* text;
    const wchar_t* caption;
    int button;
    CheckOutcome outcome;
  } const cases[] = {
      {"up to date", "0.2.0.0", L"No new updates available at the moment.", L"", IDOK,
       CheckOutcome::UpToDate},
      {"the offer declined", "0.1.0.0", L"Available version: 0.2.0.0", L"Update", IDNO,
       CheckOutcome::Declined},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    outcomes_.clear();
    Serve(c.installed);
    const int asked = Requests("updates.php");
    Click(form_.Control(TForm1::kButton6));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = Box(c.text)) != nullptr; }));
    EXPECT_EQ(TextOf(box), c.caption);
    EXPECT_FALSE(OnTop());
    Click(form_.Control(TForm1::kButton6));  // one check at a time
    Click(::GetDlgItem(box, c.button));
    ASSERT_TRUE(PumpUntil([&] { return !outcomes_.empty(); }));
    EXPECT_EQ(outcomes_, std::vector<CheckOutcome>{c.outcome});
    EXPECT_TRUE(OnTop());
    EXPECT_EQ(Requests("updates.php"), asked + 1);
  }
  EXPECT_EQ(Requests("Update.exe"), 0);
  EXPECT_EQ(programEnds_, 0);
  EXPECT_TRUE(::IsWindow(form_.Window()));
}

// Taking the offer: the progress window follows the download; Cancel stops it and keeps no part of it.
TEST_F(UpdateCheckTest, CancelStopsTheDownloadAndKeepsNothing) {
  std::atomic<bool> held{false};
  Serve("0.1.0.0", &held);
  TUpdaterForm& progress = checks_.Ui().Form();
  checks_.Button6Click();
  HWND offer = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (offer = Box(L"Available version: 0.2.0.0")) != nullptr; }));
  Click(::GetDlgItem(offer, IDYES));
  const HWND bar = progress.Control(TUpdaterForm::kProgressBar1);
  ASSERT_TRUE(PumpUntil([&] { return held && ::SendMessageW(bar, PBM_GETPOS, 0, 0) > 0; }));
  EXPECT_TRUE(::IsWindowVisible(progress.Window()));
  EXPECT_EQ(TextOf(progress.Window()), L"Update");
  EXPECT_EQ(TextOf(progress.Window(), TUpdaterForm::kLabel4), L"Das Update wird geladen. Bitte warten.");
  EXPECT_NE(TextOf(progress.Window(), TUpdaterForm::kLabel5), L"0 %");
  EXPECT_NE(FolderListing(data_.Path()), std::vector<std::string>{});  // the part received so far

  Click(progress.Control(TUpdaterForm::kCancelButton));
  ASSERT_TRUE(PumpUntil([&] { return !outcomes_.empty(); }));
  EXPECT_EQ(outcomes_, std::vector<CheckOutcome>{CheckOutcome::Cancelled});
  EXPECT_FALSE(::IsWindowVisible(progress.Window()));
  EXPECT_EQ(FolderListing(data_.Path()), std::vector<std::string>{});
  EXPECT_EQ(Requests("Update.exe.minisig"), 0);
  EXPECT_EQ(programEnds_, 0);
}

// Taking the offer to its end: the verified installer is started and the program ends; when nothing could
// be started the program goes on.
TEST_F(UpdateCheckTest, TheVerifiedInstallerIsStartedAndTheProgramEnds) {
  struct Case {
    const char* name;
    bool started;
    int programEnds;
  } const cases[] = {{"started", true, 1}, {"nothing could be started", false, 0}};
  Serve("0.1.0.0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    outcomes_.clear();
    programEnds_ = 0;
    std::vector<fs::path> launched;
    checks_.Ui().Launch = [&](const fs::path& installer) {
      launched.push_back(installer);
      return c.started;
    };
    checks_.Button6Click();
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = Box(L"Available version: 0.2.0.0")) != nullptr; }));
    Click(::GetDlgItem(box, IDYES));
    ASSERT_TRUE(
        PumpUntil([&] { return (box = Box(L"The update was downloaded and verified.")) != nullptr; }));
    Click(::GetDlgItem(box, IDOK));
    ASSERT_TRUE(PumpUntil([&] { return !outcomes_.empty(); }));
    EXPECT_EQ(outcomes_, std::vector<CheckOutcome>{CheckOutcome::HandedOver});
    EXPECT_EQ(launched, std::vector<fs::path>{data_.Path() / "Update.exe"});
    EXPECT_EQ(programEnds_, c.programEnds);
    EXPECT_FALSE(::IsWindowVisible(checks_.Ui().Form().Window()));
  }
}

TEST(UpdaterForm, ProgressShowsTheShareOrTheAmountReceived) {
  struct Case {
    std::int64_t received, total;
    wchar_t separator;
    const wchar_t* text;
  } const cases[] = {
      {0, 2000, L'.', L"0.0 %"},      {850, 2000, L',', L"42,5 %"},
      {2000, 2000, L'.', L"100.0 %"}, {3'000'000'000, 6'000'000'000, L'.', L"50.0 %"},
      {512, -1, L'.', L"512 bytes"},  {3'200'000, -1, L',', L"3,2 MB"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TUpdaterForm::ProgressText(c.received, c.total, c.separator), c.text) << c.received;
}

// The windowed program with "Check on startup": the start-up check offers the server's version a second
// after the start; quitting from the tray while the offer waits ends the program at once.
TEST(UpdateCheckProgram, QuitWhileTheStartupOfferWaitsEndsTheProgram) {
  TempDir config;
  settings::Options options;
  options.CheckUpdatesOnStartup = true;
  settings::OptionsStore(config.Path() / "option.dat", nullptr, "C:\\").SaveOptions(options);
  std::wstring command =
      L"\"" + wintest::ProgramPath() + L"\" --config-dir \"" + config.Path().wstring() +
      L"\" --http-port 0 --udp-port 0 --upload-port 0 --update-url http://127.0.0.1:" +
      std::wstring(Env("FERNPAD_TEST_HTTP_PORT").begin(), Env("FERNPAD_TEST_HTTP_PORT").end()) + L"/";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION program{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &program))
      << ::GetLastError();

  HWND offer = nullptr;
  for (int i = 0; i < 1000 && offer == nullptr; ++i) {
    offer = OpenBox(program.dwProcessId, L"0.2.0.0");  // in the language of the PC
    if (offer == nullptr) std::this_thread::sleep_for(20ms);
  }
  EXPECT_NE(offer, nullptr);
  EXPECT_EQ(wintest::QuitFromTray(program, 10000), 0u) << "Quit ends the program";
}

}  // namespace
}  // namespace fernpad::app
