// The Qt front end on a real desktop: icewm manages the windows, icewm's task bar or trayer is the tray.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Desktop.h"
#include "ServerProcess.h"
#include "Xvfb.h"

namespace fernpad::test {
namespace {

constexpr const char* kProgram = "fernpad-server";  // the WM_CLASS resource name of its windows
constexpr const char* kMainWindow = "Fernpad Server";

class GuiDesktop : public ::testing::Test {
 protected:
  // Starts the program with its windows and waits for its main window to exist.
  void StartServer() {
    ServerProcess::Options options;
    options.headless = false;
    server = std::make_unique<ServerProcess>(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
    ASSERT_TRUE(WaitUntil([&] { return (mainWindow = view.Find(kMainWindow, kProgram)) != 0; }));
  }
  // icewm with its tray, the program in it, its window hidden at start; returns the icon.
  Window StartInTray() {
    wm = std::make_unique<IceWm>(xvfb.Display(), /*withTray=*/true);
    StartServer();
    const Window icon = WaitForDockedIcon();
    EXPECT_NE(icon, 0u);
    EXPECT_TRUE(WaitUntil([&] { return Hidden(); })) << "hidden at start: " << State();
    return icon;
  }
  Window WaitForDockedIcon() {
    Window icon = 0;
    WaitUntil([&] { return (icon = view.DockedIcon(kProgram, kMainWindow)) != 0; });
    return icon;
  }
  void Click(Window w) {
    const auto box = view.Geometry(w);
    RunWithDisplay(xvfb.Display(), "xdotool mousemove " + std::to_string(box.x + box.width / 2) + " " +
                                       std::to_string(box.y + box.height / 2) + " click 1");
  }
  void Minimise() { RunWithDisplay(xvfb.Display(), "xdotool windowminimize " + std::to_string(mainWindow)); }
  // On screen in a frame of the window manager.
  bool Shown() {
    return view.WmState(mainWindow) == DesktopView::kNormal && view.Viewable(mainWindow) &&
           view.Frame(mainWindow) != mainWindow && view.Viewable(view.Frame(mainWindow));
  }
  bool ShownAndActive() { return Shown() && view.ActiveWindow() == mainWindow; }
  // Shown and active, and the program done with what the window manager told it meanwhile. A window the
  // program maps asks to be activated once the program hears it is mapped; minimised before that request
  // went out, it was brought back by it. A race of the test: no user minimises that quickly.
  bool WaitShownAndSettled() {
    return WaitUntil([&] { return ShownAndActive(); }) && view.Ping(mainWindow);
  }
  // Withdrawn: no frame, no task-bar button, nothing of it left on screen.
  bool Hidden() {
    const Window frame = view.Frame(mainWindow);
    return view.WmState(mainWindow) == DesktopView::kWithdrawn && !view.Viewable(mainWindow) &&
           !view.Viewable(frame);
  }
  // For failure messages.
  std::string State() {
    const Window frame = view.Frame(mainWindow);
    return "WM_STATE " + std::to_string(view.WmState(mainWindow)) + ", window " +
           (view.Viewable(mainWindow) ? "viewable" : "unmapped") + ", frame " +
           (frame == mainWindow    ? "none"
            : view.Viewable(frame) ? "viewable"
                                   : "unmapped");
  }
  bool Iconic() { return view.WmState(mainWindow) == DesktopView::kIconic && !view.Viewable(mainWindow); }

  Xvfb xvfb{"1920x1080x24"};
  DesktopView view{xvfb.Display()};
  std::unique_ptr<IceWm> wm;
  std::unique_ptr<ServerProcess> server;
  Window mainWindow = 0;
};

TEST_F(GuiDesktop, ATrayThatComesLaterGetsTheIconAndTheWindowFollowsTheTray) {
  wm = std::make_unique<IceWm>(xvfb.Display(), /*withTray=*/false);
  ASSERT_NO_FATAL_FAILURE(StartServer());
  ASSERT_TRUE(WaitUntil([&] { return Shown(); })) << "without a tray the window stays on screen";

  auto tray = std::make_unique<DisplayProgram>(
      xvfb.Display(), std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                               "pixel", "--width", "100", "--height", "24"});
  const Window icon = WaitForDockedIcon();
  ASSERT_NE(icon, 0u) << "the icon docks in the tray that came";
  Minimise();
  EXPECT_TRUE(WaitUntil([&] { return Hidden(); })) << "minimising hides the window into the tray";
  Click(icon);
  EXPECT_TRUE(WaitShownAndSettled()) << "the tray icon shows it again";
  Minimise();
  ASSERT_TRUE(WaitUntil([&] { return Hidden(); }));

  tray.reset();  // the panel goes away while the window is hidden
  EXPECT_TRUE(WaitShownAndSettled()) << "without the tray, the window comes back";
  Minimise();
  EXPECT_TRUE(WaitUntil([&] { return Iconic(); })) << "and minimises to the task bar again";
  EXPECT_EQ(server->Stop(), 0);
}

TEST_F(GuiDesktop, MinimiseHidesTheWindowEveryTimeAndTheTrayBringsItBack) {
  Window icon = 0;
  ASSERT_NO_FATAL_FAILURE(icon = StartInTray());
  // The window manager and the program race on each minimise; a lost race showed once in some 25 cycles.
  for (int cycle = 0; cycle < 40; ++cycle) {
    Click(icon);
    ASSERT_TRUE(WaitShownAndSettled()) << "cycle " << cycle << ": " << State();
    Minimise();
    ASSERT_TRUE(WaitUntil([&] { return Hidden(); })) << "cycle " << cycle << ": " << State();
  }
  EXPECT_EQ(server->Stop(), 0);
}

TEST_F(GuiDesktop, TheFirstTrayClickCentresTheFrameOnTheFirstMonitor) {
  Window icon = 0;
  ASSERT_NO_FATAL_FAILURE(icon = StartInTray());
  Click(icon);
  ASSERT_TRUE(WaitUntil([&] { return Shown(); }));
  DesktopView::Box frame;
  const bool centred = WaitUntil([&] {
    frame = view.Geometry(view.Frame(mainWindow));
    return frame.x == 1920 / 2 - frame.width / 2 && frame.y == 1080 / 2 - frame.height / 2;
  });
  EXPECT_TRUE(centred) << "frame " << frame.width << "x" << frame.height << "+" << frame.x << "+" << frame.y;
  EXPECT_GT(frame.height, 371) << "the frame, not the client area";
  EXPECT_EQ(server->Stop(), 0);
}

}  // namespace
}  // namespace fernpad::test
