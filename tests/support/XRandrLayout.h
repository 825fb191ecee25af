#pragma once

#include <string>
#include <vector>

namespace fernpad::test {

// Lights the X server's first output with a mode of width x height placed at (x, y) of the screen, and makes
// that output primary or not. Xvfb has one output, so this is how a test gets a monitor whose corner is not
// the screen's. Throws std::runtime_error when the server refuses.
void PlaceFirstCrtc(const std::string& display, int x, int y, int width, int height, bool primary = true);

// A RandR 1.5 monitor as `xrandr --setmonitor` makes it: a named rectangle of the screen, primary or not,
// showing the server's first output or none.
struct MonitorSpec {
  int x = 0, y = 0, width = 0, height = 0;
  bool primary = false;
  bool firstOutput = false;  // the output's own automatic monitor goes away while a monitor shows it
};

// Replaces the monitors made by clients with these (named fernpad-0, fernpad-1, ...), in order, as
// `xrandr --setmonitor` does: how one X screen is split into several monitors. The server must run with
// -noreset (a reset forgets them). Throws std::runtime_error when the server refuses.
void SetMonitors(const std::string& display, const std::vector<MonitorSpec>& monitors);

// One X screen split into two monitors, for the end-to-end tests of the primary-monitor rule.
struct SplitScreen {
  const char* name;
  const char* screen;  // Xvfb's -screen argument
  std::vector<MonitorSpec> monitors;
  MonitorSpec primary;  // where the primary monitor lies on the screen
};
// A 1920-wide primary monitor at the screen's corner with one to its right; and a primary monitor right of
// and below a smaller one, so that its corner is not the screen's.
std::vector<SplitScreen> SplitScreens();

}  // namespace fernpad::test

namespace fernpad::test {

// Paints a rectangle of the root window in an RGB colour (what a full-screen picture would show).
void PaintRoot(const std::string& display, int x, int y, int width, int height, unsigned rgb);

}  // namespace fernpad::test
