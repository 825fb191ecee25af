// The Windows main window driven through window messages, as a user's clicks reach its controls.
#include "app/win/MainForm.h"

#include <commctrl.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {
namespace {

namespace fs = std::filesystem;
using settings::testing::Bytes;
using settings::testing::Le32;
using settings::testing::Node;
using settings::testing::Text;

std::string TextOf(HWND window) {
  char text[256] = {};
  ::GetWindowTextA(window, text, 256);
  return text;
}

// "option.dat" as a save lays out these options (the key table), built without the code under test.
Bytes ExpectedFile(const settings::Options& o) {
  auto flag = [](bool on) { return Bytes{static_cast<std::uint8_t>(on ? 1 : 0)}; };
  auto list = [](std::int32_t key, const std::vector<std::string>& hosts) {
    Node node{key, {}, {{0, Le32(static_cast<std::int32_t>(hosts.size())), {}}}};
    for (std::size_t i = 0; i < hosts.size(); ++i)
      node.children.push_back({static_cast<std::int32_t>(i + 1), Text(hosts[i]), {}});
    return node;
  };
  return settings::testing::EncodeNodes({
      {1000, {}, {{1, Le32(o.MouseAcceleration), {}}}},
      {1001, {}, {{1, flag(o.SmoothImage), {}}, {2, Le32(static_cast<std::int32_t>(o.PointerColor)), {}}}},
      list(1002, o.AllowedHosts),
      list(1003, o.DeniedHosts),
      {1004, {}, {{0, flag(o.CheckUpdatesOnStartup), {}}}},
      {1005, {}, {{0, flag(o.StartWithWindows), {}}}},
      {1006, {}, {{0, flag(o.CursorJumpFix), {}}}},
      {1007, {}, {{0, flag(o.DisableAccessControl), {}}}},
      {1008, {}, {{0, Text(o.DefaultFolder), {}}}},
      {1009, {}, {{0, Le32(0), {}}}},
  });
}

// A main window over live settings saved to a file of its own, shown as the tray shows it.
class MainFormTest : public ::testing::Test {
 protected:
  void Open(const settings::Options& initial) {
    settings::testing::WriteBytes(file_, ExpectedFile(initial));
    store_ = std::make_unique<settings::OptionsStore>(file_, nullptr, "C:\\");
    live_.Load(store_->LoadOptions());
    settings::ConnectSaveHook(live_, *store_);
    form_ = std::make_unique<TForm1>(live_, [] { return std::string("10.0.0.5"); });
    form_->LoadControls(live_.Get(), "C:\\");
    form_->TrayIcon1Click();
  }
  void TearDown() override {
    form_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path folder_ = fs::temp_directory_path() / ("fernpad-form-" + std::to_string(::GetCurrentProcessId()));
  fs::path file_ = (fs::create_directories(folder_), folder_ / "option.dat");
  settings::LiveSettings live_;
  std::unique_ptr<settings::OptionsStore> store_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(MainFormTest, ControlsAndPagesCarryTheirCaptions) {
  Open({});
  struct Case {
    TForm1::Id id;
    const char* caption;
  };
  const Case cases[] = {
      {TForm1::kCheckBox1, "Smooth image (needs more CPU time)"},
      {TForm1::kCheckBox2, "Check on startup"},
      {TForm1::kCheckBox3, "Start Fernpad Server with Windows"},
      {TForm1::kCheckBox4, "Enable this box if the cursor jumps to the upper left corner of the screen"},
      {TForm1::kCheckBox5, "Disable Access control"},
      {TForm1::kWebRemote, "Browser remote"},
      {TForm1::kKeepAddress, "Keep this address"},
      {TForm1::kButton2, "Delete selected"},
      {TForm1::kButton3, "Delete all"},
      {TForm1::kButton4, "Delete selected"},
      {TForm1::kButton5, "Delete all"},
      {TForm1::kButton6, "Check for online updates now"},
      {TForm1::kButton7, "..."},
      {TForm1::kButton8, "Delete this device"},
      {TForm1::kLabel7, "The server IP(s) is/are: 10.0.0.5"},  // replaced as the window became active
      {TForm1::kLabel10, "0"},
      {TForm1::kEdit1, "C:\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(TextOf(form_->Control(c.id)), c.caption) << c.id;
  EXPECT_EQ(TextOf(form_->Window()), "Fernpad Server");
  EXPECT_FALSE(::IsWindowVisible(form_->Control(TForm1::kCheckBox4)));  // hidden for good
  RECT client{};
  ::GetClientRect(form_->Window(), &client);
  EXPECT_EQ(client.right, 643);
  EXPECT_EQ(client.bottom, 371);
  EXPECT_TRUE(::GetWindowLongPtrW(form_->Window(), GWL_EXSTYLE) & WS_EX_TOPMOST);

  const char* const pages[] = {"General settings", "Access control", "Debug",
                               "Image Upload (Snapferry WiFi)"};
  const HWND tabs = form_->Control(TForm1::kPageControl1);
  ASSERT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    char name[64] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = name;
    item.cchTextMax = 64;
    ::SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(name, pages[i]);
  }
  // The list boxes, the device list and the scroll bar are there (their content is the settings').
  for (TForm1::Id id : {TForm1::kListBox1, TForm1::kListBox2, TForm1::kComboBox1, TForm1::kScrollBar1})
    EXPECT_NE(form_->Control(id), nullptr) << id;
}

TEST_F(MainFormTest, TickingABoxRewritesTheOptionsFile) {
  struct Case {
    TForm1::Id box;
    bool settings::Options::*option;
  };
  const Case cases[] = {
      {TForm1::kCheckBox1, &settings::Options::SmoothImage},
      {TForm1::kCheckBox5, &settings::Options::DisableAccessControl},
  };
  for (const Case& c : cases) {
    settings::Options initial;
    initial.AllowedHosts = {"10.0.0.7"};
    Open(initial);
    ::SendMessageW(form_->Control(c.box), BM_CLICK, 0, 0);
    settings::Options after = initial;
    after.*c.option = true;
    EXPECT_EQ(settings::testing::ReadBytes(file_), ExpectedFile(after)) << c.box;
  }
}

TEST_F(MainFormTest, DeleteSelectedTakesTheHostOutOfTheFile) {
  struct Case {
    TForm1::Id list, button;
    std::vector<std::string> settings::Options::*hosts;
  };
  const Case cases[] = {
      {TForm1::kListBox1, TForm1::kButton2, &settings::Options::AllowedHosts},
      {TForm1::kListBox2, TForm1::kButton4, &settings::Options::DeniedHosts},
  };
  for (const Case& c : cases) {
    settings::Options initial;
    initial.*c.hosts = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    Open(initial);
    form_->ShowPage(1);
    ::SendMessageW(form_->Control(c.list), LB_SETSEL, TRUE, 1);
    ::SendMessageW(form_->Control(c.button), BM_CLICK, 0, 0);
    settings::Options after = initial;
    after.*c.hosts = {"10.0.0.1", "10.0.0.3"};
    EXPECT_EQ(settings::testing::ReadBytes(file_), ExpectedFile(after)) << c.list;
    EXPECT_EQ(::SendMessageW(form_->Control(c.list), LB_GETCOUNT, 0, 0), 2) << c.list;
  }
}

}  // namespace
}  // namespace fernpad::app
