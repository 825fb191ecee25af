#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fernpad::test {

// Another program started on a test's display (a window manager, a tray), ended by its PID.
class DisplayProgram {
 public:
  // argv[0] is looked up in PATH; env entries ("NAME=value") are added to the environment. Throws
  // std::runtime_error when it cannot be started.
  DisplayProgram(const std::string& display, std::vector<std::string> argv,
                 std::vector<std::string> env = {});
  ~DisplayProgram() { Stop(); }
  DisplayProgram(const DisplayProgram&) = delete;
  DisplayProgram& operator=(const DisplayProgram&) = delete;
  // Sends SIGTERM and waits for the end (SIGKILL after 5 s).
  void Stop();

 private:
  pid_t pid_ = -1;
};

// icewm on a test's display, with preferences in a private folder (the user's own are never read). Waits
// until it manages the screen, and, with a tray, until the tray is there.
class IceWm {
 public:
  IceWm(const std::string& display, bool withTray);
  ~IceWm();
  IceWm(const IceWm&) = delete;
  IceWm& operator=(const IceWm&) = delete;

 private:
  std::string folder_;
  std::unique_ptr<DisplayProgram> program_;
};

// What the window manager and the trays made of the windows on a display, read through Xlib.
class DesktopView {
 public:
  explicit DesktopView(const std::string& display);
  ~DesktopView();
  DesktopView(const DesktopView&) = delete;
  DesktopView& operator=(const DesktopView&) = delete;

  // The first window in the tree with this WM_NAME and WM_CLASS resource name; 0 if there is none.
  Window Find(const std::string& name, const std::string& resourceName);
  // A viewable window of the program (by WM_CLASS resource name) that sits inside another window than the
  // root and is not the named main window: its icon docked in a tray. 0 if there is none.
  Window DockedIcon(const std::string& resourceName, const std::string& mainWindowName);
  bool Viewable(Window w);
  // The ICCCM state the window manager gave the window (kWithdrawn when it set none).
  static constexpr long kWithdrawn = 0, kNormal = 1, kIconic = 3;
  long WmState(Window w);
  // The window the window manager names active on the root window (_NET_ACTIVE_WINDOW); 0 if none.
  Window ActiveWindow();
  // The window's top-level ancestor (the window manager's frame), or the window itself when it has none.
  Window Frame(Window w);
  struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Box&, const Box&) = default;
  };
  Box Geometry(Window w);  // relative to the root window
  // Whether a program owns the system tray selection of screen 0.
  bool TrayPresent();
  // Sends the window's program a _NET_WM_PING and waits for its answer: true once the program has handled
  // everything the window system told it before, and sent what it sends in return.
  bool Ping(Window w, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  ::Display* XDisplay() const { return dpy_; }

 private:
  ::Display* dpy_ = nullptr;
  long pings_ = 0;
};

// Polls the condition until it holds or the timeout passes (for state other programs set on their own time).
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace fernpad::test
