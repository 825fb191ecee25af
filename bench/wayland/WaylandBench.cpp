// "a=m" and "a=ss" through the Wayland backends, each on a private headless desktop at 1920x1080 (sway for
// the wlroots backend, GNOME for the desktop portal's): the move request (to the reply's last byte) against
// the same run's bare backend call, the same request while a handheld's screen view keeps asking for
// snapshots, and the snapshot request's median against its goal.
// Usage: wayland_bench [requests per case]   (run as root, sway runs as "nobody")
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "LoopbackServer.h"
#include "PortalDesk.h"
#include "WaylandDesk.h"
#include "core/Bitmap24.h"
#include "platform/linux/wayland/WlrootsPlatform.h"
#ifdef FERNPAD_HAVE_PORTAL
#include "platform/linux/wayland/PortalPlatform.h"
#endif

namespace {

using fernpad::bench::MedianMs;

void Measure(const char* name, fernpad::Platform& platform, int runs, double snapshotGoalMs) {
  fernpad::bench::LoopbackServer server(platform);
  fernpad::bench::Connection connection(server.HttpPort());
  int sign = 1;  // back and forth, so the pointer stays where it is
  const auto move = [&] {
    connection.Get(sign > 0 ? "x:1&y:0&a=m" : "x:-1&y:0&a=m");
    sign = -sign;
  };
  const double bareMs = MedianMs(runs, [&] {
    platform.MoveCursorBy(sign, 0);
    platform.FlushInput();
    sign = -sign;
  });
  move();
  const double moveMs = MedianMs(runs, move);

  fernpad::Bitmap24 screen;
  platform.CaptureScreen(screen);
  const double captureMs = MedianMs(runs, [&] { platform.CaptureScreen(screen); });
  connection.Get("x:0&y:0&a=ss");
  const double snapshotMs = MedianMs(runs, [&] { connection.Get("x:0&y:0&a=ss"); });

  // The screen view asks for the next snapshot as soon as one arrives.
  std::atomic<bool> viewing = true;
  std::thread view([&] {
    fernpad::bench::Connection snapshots(server.HttpPort());
    while (viewing) snapshots.Get("x:0&y:0&a=ss");
  });
  const double moveWhileViewingMs = MedianMs(runs, move);
  viewing = false;
  view.join();

  std::printf("%-16s a=m  request %7.3f ms   bare call %7.3f ms   ratio %5.1f   during snapshots %7.3f ms\n",
              name, moveMs, bareMs, moveMs / bareMs, moveWhileViewingMs);
  std::printf("%-16s a=ss request %7.2f ms   capture %6.2f ms (%dx%d)   goal < %.0f ms: %s\n", name,
              snapshotMs, captureMs, screen.Width(), screen.Height(), snapshotGoalMs,
              snapshotMs < snapshotGoalMs ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace fernpad::test;
  const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
  std::printf("Wayland backends at 1920x1080, median of %d\n", runs);
  try {
    if (SwayInstalled()) {
      Sway sway;
      EventLog window(sway.Socket(), "3060C0");  // something on the screen
      if (!window.WaitFor("ready 1920 1080", 10s)) throw std::runtime_error("no window on sway");
      fernpad::WlrootsPlatform platform(sway.Socket());
      Measure("wlroots (sway)", platform, runs, 100);
    } else {
      std::printf("wlroots (sway)   not measured: sway is not installed\n");
    }
#ifdef FERNPAD_HAVE_PORTAL
    if (DesktopInstalled(Desktop::kGnome)) {
      PortalDesk desk(Desktop::kGnome);
      EventLog window(desk.Socket(), "FF8000");
      if (!window.WaitFor("ready 1920 1080", 10s)) throw std::runtime_error("no window on GNOME");
      DialogApprover approver(desk);
      for (const std::string& variable : desk.Env()) {
        const auto eq = variable.find('=');
        setenv(variable.substr(0, eq).c_str(), variable.substr(eq + 1).c_str(), 1);
      }
      fernpad::PortalPlatform platform(desk.Socket());
      Measure("portal (GNOME)", platform, runs, 50);
    } else {
      std::printf(
          "portal (GNOME)   not measured: mutter, its portals or python3-pyatspi are not installed\n");
    }
#endif
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wayland_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
