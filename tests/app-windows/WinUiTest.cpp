#include "app/win/WinUi.h"

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace fernpad::app {
namespace {

using namespace std::chrono_literals;

// The box with this caption once it is on screen (waits at most 10 s); null when none came.
HWND WaitForBox(const wchar_t* caption) {
  for (int i = 0; i < 500; ++i) {
    if (HWND box = ::FindWindowW(L"#32770", caption); box != nullptr && ::IsWindowVisible(box)) return box;
    std::this_thread::sleep_for(20ms);
  }
  return nullptr;
}

std::wstring BoxText(HWND box) {
  wchar_t text[512] = {};
  ::GetDlgItemTextW(box, 0xFFFF, text, 512);  // the static control of a message box
  return text;
}

void Click(HWND box, int button) {
  ::SendMessageW(::GetDlgItem(box, button), BM_CLICK, 0, 0);
}

template <class T>
bool Ready(std::future<T>& f) {
  return f.wait_for(10s) == std::future_status::ready;
}

TEST(WinUi, SecurityQuestionAnswersWithTheButtonClicked) {
  struct Case {
    int button;
    bool allowed;
  };
  for (const Case c : {Case{IDYES, true}, Case{IDNO, false}}) {
    WinUi ui;
    auto answer = std::async(std::launch::async, [&] { return ui.AskAllowHost("192.168.1.23"); });
    HWND box = WaitForBox(L"Security question");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), L"The device with the IP 192.168.1.23 wants to control the PC. Allow?");
    EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
    EXPECT_EQ(::GetDlgItem(box, IDCANCEL), nullptr);  // Yes and No only
    Click(box, c.button);
    ASSERT_TRUE(Ready(answer));
    EXPECT_EQ(answer.get(), std::optional<bool>(c.allowed)) << c.button;
  }
}

// A message box that is still open holds up neither the question nor its answer.
TEST(WinUi, MessageBoxShowsTheHandheldTextAndLeavesTheQuestionFree) {
  WinUi ui;
  auto shown = std::async(std::launch::async, [&] { ui.ShowMessage("Caf\xe9 \x80"); });  // Windows-1252
  HWND message = WaitForBox(L"Tactivo Server");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(BoxText(message), L"Caf\u00e9 \u20ac");

  auto answer = std::async(std::launch::async, [&] { return ui.AskAllowHost("10.0.0.7"); });
  HWND question = WaitForBox(L"Security question");
  ASSERT_NE(question, nullptr);
  Click(question, IDYES);
  ASSERT_TRUE(Ready(answer));
  EXPECT_EQ(answer.get(), std::optional<bool>(true));

  EXPECT_EQ(shown.wait_for(0s), std::future_status::timeout);  // waits for its OK
  Click(message, IDOK);
  EXPECT_TRUE(Ready(shown));
}

TEST(WinUi, ClosingTheProgramClosesTheBoxesWithoutAnAnswer) {
  WinUi ui;
  auto answer = std::async(std::launch::async, [&] { return ui.AskAllowHost("10.0.0.8"); });
  auto shown = std::async(std::launch::async, [&] { ui.ShowMessage("bye"); });
  ASSERT_NE(WaitForBox(L"Security question"), nullptr);
  ASSERT_NE(WaitForBox(L"Tactivo Server"), nullptr);

  ui.BeginShutdown();
  ASSERT_TRUE(Ready(answer));
  EXPECT_EQ(answer.get(), std::nullopt);
  EXPECT_TRUE(Ready(shown));
  EXPECT_EQ(ui.AskAllowHost("10.0.0.9"), std::nullopt);  // no box waits any more
}

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[512] = {};
  ::GetDlgItemTextW(dialog, id, text, 512);
  return text;
}

TEST(WinUi, NewDeviceDialogGivesTheFolderChosenAndOpensThereNextTime) {
  namespace fs = std::filesystem;
  const fs::path base =
      fs::temp_directory_path() / ("fernpad-form5-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(base / "Other");
  fs::create_directories(base / "Photos");
  const fs::path before = fs::current_path();
  fs::current_path(base);  // the program starts in base, then works elsewhere
  WinUi ui;
  fs::current_path(before);
  auto answer = std::async(std::launch::async, [&] { return ui.AskDeviceFolder("Caf\xe9 \x80", "C:\\"); });
  HWND dialog = WaitForBox(L"New device detected");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ItemText(dialog, TForm5::kLabel4), L"Caf\u00e9 \u20ac");  // the handheld's Windows-1252 name
  EXPECT_EQ(ItemText(dialog, TForm5::kLabel6), base.wstring());       // the first use: the start-up folder
  // The user picks "Photos" in the directory list and presses OK.
  const HWND list = ::GetDlgItem(dialog, TForm5::kDirectoryListBox1);
  int row = -1;
  for (int i = 0; i < ::SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
    wchar_t text[512] = {};
    ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    if (std::wstring_view(text).ends_with(L"Photos")) row = i;
  }
  ASSERT_GE(row, 0);
  ::SendMessageW(list, LB_SETCURSEL, row, 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(TForm5::kDirectoryListBox1, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(ItemText(dialog, TForm5::kLabel6), (base / "Photos").wstring());
  Click(dialog, IDOK);
  ASSERT_TRUE(Ready(answer));
  EXPECT_EQ(answer.get(), std::optional<std::string>((base / "Photos").string()));

  // The next device: the dialog opens where the user left it; its close box counts as "OK".
  auto second = std::async(std::launch::async, [&] { return ui.AskDeviceFolder("Tab", "C:\\"); });
  dialog = WaitForBox(L"New device detected");  // the first one is gone: its answer came back
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ItemText(dialog, TForm5::kLabel4), L"Tab");
  EXPECT_EQ(ItemText(dialog, TForm5::kLabel6), (base / "Photos").wstring());
  ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Ready(second));
  EXPECT_EQ(second.get(), std::optional<std::string>((base / "Photos").string()));
  fs::remove_all(base);
}

TEST(WinUi, NewDeviceDialogClosedByTheProgramsEndAnswersNothing) {
  WinUi ui;
  auto answer = std::async(std::launch::async, [&] { return ui.AskDeviceFolder("Tab", "C:\\"); });
  ASSERT_NE(WaitForBox(L"New device detected"), nullptr);
  ui.BeginShutdown();
  ASSERT_TRUE(Ready(answer));
  EXPECT_EQ(answer.get(), std::nullopt);
  EXPECT_EQ(ui.AskDeviceFolder("Tab", "C:\\"), std::nullopt);  // no dialog waits any more
}

}  // namespace
}  // namespace fernpad::app
