#include "app/win/WinUi.h"

#include <chrono>
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
    NullUi rest;
    WinUi ui(rest);
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
  NullUi rest;
  WinUi ui(rest);
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
  NullUi rest;
  WinUi ui(rest);
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

}  // namespace
}  // namespace fernpad::app
