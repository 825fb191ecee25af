#include "upload/Devices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fernpad::upload {
namespace {

using settings::TSnapferryDevice;

// A folder as the system's folder dialog gives it back, ending in the system's separator.
std::string Folder(const char* name) {
  return std::string("/") + name + kFolderSeparator;
}

const TSnapferryDevice kAnna{"idA", "Anna", Folder("a")};
const TSnapferryDevice kBob{"idB", "Bob", Folder("b")};

struct Page {
  settings::LiveSettings settings;
  std::vector<settings::Options> saves;
  std::vector<std::string> asked;
  std::string answer = "/new";
  UploadDevices devices{settings, [this](const std::string& name) {
                          asked.push_back(name);
                          return answer;
                        }};

  Page() {
    settings::Options o;
    o.DefaultFolder = Folder("pics");
    o.Devices = {kAnna, kBob};
    settings.Load(o);
    settings.SetSaveHook([this](const settings::Options& saved) { saves.push_back(saved); });
    devices.LoadOptions(Folder("fallback"));
  }
};

struct DeviceCase {
  const char* what;
  std::function<void(Page&)> steps;
  std::vector<TSnapferryDevice> devices;  // after the steps
  std::string edit1;
  int selected;
  std::vector<std::string> asked;
  std::size_t saves;  // each saving the devices above
};

TEST(UploadDevices, SelectAddDeleteAndWhatIsSaved) {
  const TSnapferryDevice carl{"idC", "Carl", Folder("new")};
  const DeviceCase cases[] = {
      {"loaded", [](Page&) {}, {kAnna, kBob}, Folder("pics"), 0, {}, 0},
      {"known device keeps its name",
       [](Page& p) { p.devices.SelectOrAddDevice("idB", "Robert"); },
       {kAnna, kBob},
       Folder("b"),
       2,
       {},
       0},
      {"new device is asked about, added and saved",
       [](Page& p) { p.devices.SelectOrAddDevice("idC", "Carl"); },
       {kAnna, kBob, carl},
       Folder("new"),
       3,
       {"Carl"},
       1},
      {"folder keeps its separator",
       [](Page& p) {
         p.answer = Folder("new");
         p.devices.SelectOrAddDevice("idC", "Carl");
       },
       {kAnna, kBob, carl},
       Folder("new"),
       3,
       {"Carl"},
       1},
      {"identifiers differ in case",
       [](Page& p) { p.devices.SelectOrAddDevice("IDA", "Carl"); },
       {kAnna, kBob, {"IDA", "Carl", Folder("new")}},
       Folder("new"),
       3,
       {"Carl"},
       1},
      {"no answer adds nothing",
       [](Page& p) {
         p.answer.clear();
         EXPECT_THROW(p.devices.SelectOrAddDevice("idC", "Carl"), NoFolderChosen);
       },
       {kAnna, kBob},
       Folder("pics"),
       0,
       {"Carl"},
       0},
      {"delete removes the selected device and saves",
       [](Page& p) {
         p.devices.ComboBox1Change(1);
         p.devices.Button8Click();
       },
       {kBob},
       Folder("a"),
       -1,
       {},
       1},
      {"delete with Default selected does nothing",
       [](Page& p) { p.devices.Button8Click(); },
       {kAnna, kBob},
       Folder("pics"),
       0,
       {},
       0},
      {"deleted device is asked about again",
       [](Page& p) {
         p.devices.SelectOrAddDevice("idA", "Anna");
         p.devices.Button8Click();
         p.devices.SelectOrAddDevice("idA", "Anna");
       },
       {kBob, {"idA", "Anna", Folder("new")}},
       Folder("new"),
       2,
       {"Anna"},
       2},
      {"selecting never saves",
       [](Page& p) {
         p.devices.ComboBox1Change(2);
         p.devices.ComboBox1Change(0);
         p.devices.ComboBox1Change(1);
         p.devices.ComboBox1Change(7);
       },
       {kAnna, kBob},
       Folder("a"),
       1,
       {},
       0},
      {"folder chosen for a device",
       [](Page& p) {
         p.devices.ComboBox1Change(2);
         p.devices.FolderChosen("/elsewhere");
       },
       {kAnna, {"idB", "Bob", Folder("elsewhere")}},
       Folder("elsewhere"),
       2,
       {},
       1},
      {"same folder chosen again saves nothing",
       [](Page& p) {
         p.devices.ComboBox1Change(1);
         p.devices.FolderChosen(Folder("a"));
       },
       {kAnna, kBob},
       Folder("a"),
       1,
       {},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Page page;
    c.steps(page);
    EXPECT_EQ(page.settings.Get().Devices, c.devices);
    EXPECT_EQ(page.devices.Edit1(), c.edit1);
    EXPECT_EQ(page.devices.Selected(), c.selected);
    EXPECT_EQ(page.asked, c.asked);
    ASSERT_EQ(page.saves.size(), c.saves);
    if (!page.saves.empty()) {
      EXPECT_EQ(page.saves.back().Devices, c.devices);
    }
  }
}

TEST(UploadDevices, DefaultFolderChosenWithNothingSelected) {
  Page page;
  page.devices.ComboBox1Change(1);
  page.devices.Button8Click();
  page.devices.FolderChosen("/");  // a root keeps its single separator
  EXPECT_EQ(page.devices.Selected(), 0);
  EXPECT_EQ(page.settings.Get().DefaultFolder, "/");
  EXPECT_EQ(page.saves.size(), 2u);
}

TEST(UploadDevices, OneQuestionAtATimeAcrossConnections) {
  settings::LiveSettings live;
  std::atomic<int> open{0};
  std::atomic<int> mostOpen{0};
  std::atomic<int> questions{0};
  UploadDevices devices(live, [&](const std::string&) {
    const int now = ++open;
    mostOpen = std::max(mostOpen.load(), now);
    ++questions;
    std::this_thread::yield();
    --open;
    return std::string(Folder("p"));
  });
  std::vector<std::thread> connections;
  for (int i = 0; i < 8; ++i) connections.emplace_back([&] { devices.SelectOrAddDevice("same", "Phone"); });
  for (auto& t : connections) t.join();
  EXPECT_EQ(mostOpen.load(), 1);
  EXPECT_EQ(questions.load(), 1);
  EXPECT_EQ(live.Get().Devices.size(), 1u);
}

}  // namespace
}  // namespace fernpad::upload
