// Records per second typed through Keyboard + X11Keyboard, the real X11 backend on a private Xvfb, against
// raw XTest key events sent by the same process in the same run, both delivered with XSync. Prints the
// medians and their ratio (goal >= 0.8).
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "X11KeyboardPlatform.h"
#include "XEventRecorder.h"
#include "Xvfb.h"
#include "input/Keyboard.h"

namespace {

using Clock = std::chrono::steady_clock;

// 1,000 characters of ordinary text: letters, capitals, digits, punctuation and spaces.
std::string SampleText() {
  const std::string words =
      "The quick brown fox jumps over the lazy dog; 42 boxes (and 7 crates) cost $19.99 - "
      "\"really?\" she asked, e-mail: a.b@example.org! ";
  std::string text;
  while (text.size() < 1000) text += words;
  text.resize(1000);
  return text;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  using namespace fernpad;
  test::Xvfb xvfb("1024x768x24");
  int status = 0;
  test::RunWithDisplay(xvfb.Display(), "setxkbmap us", &status);
  test::XEventRecorder recorder(xvfb.Display(), 0, 0, 400, 300);
  Display* dpy = XOpenDisplay(xvfb.Display().c_str());
  if (!dpy) return 1;
  double typedRate = 0, rawRate = 0;
  {
    X11Keyboard x11(dpy);
    test::X11KeyboardPlatform platform(x11);
    NullUi ui;
    Keyboard keyboard(platform, ui, x11.LayoutName(), 1);
    const std::string text = SampleText();
    const KeyCode key = XKeysymToKeycode(dpy, 'a');

    std::vector<double> typed, raw;
    for (int round = 0; round < 7; ++round) {
      platform.ClearRecords();
      auto start = Clock::now();
      keyboard.TypeText("v= " + text);
      const double typedSeconds = std::chrono::duration<double>(Clock::now() - start).count();
      const auto records = platform.Records().size();
      typed.push_back(static_cast<double>(records) / typedSeconds);
      recorder.Collect();
      recorder.Clear();

      start = Clock::now();
      for (std::size_t i = 0; i < records; ++i) {
        XTestFakeKeyEvent(dpy, key, i % 2 == 0 ? True : False, CurrentTime);
        XSync(dpy, False);
      }
      const double rawSeconds = std::chrono::duration<double>(Clock::now() - start).count();
      raw.push_back(static_cast<double>(records) / rawSeconds);
      recorder.Collect();
      recorder.Clear();
    }
    typedRate = Median(typed);
    rawRate = Median(raw);
    std::printf("text: %zu characters, %zu key records per round, 7 rounds (medians)\n", text.size(),
                platform.Records().size());
    std::printf("the real X11 backend: the keyboard logic and X11Keyboard on a private Xvfb (%s)\n",
                xvfb.Display().c_str());
  }
  XCloseDisplay(dpy);
  std::printf("%-52s %10.0f records/s\n", "typed through Keyboard + X11Keyboard (X11 on Xvfb):", typedRate);
  std::printf("%-52s %10.0f events/s\n", "raw XTest key events with XSync (the baseline):", rawRate);
  std::printf("ratio (typed / raw XTest): %.2f (goal >= 0.80)\n", typedRate / rawRate);
  return 0;
}
