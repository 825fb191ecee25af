// "a=ss" and "a=ssPad" end to end (request to last byte) on a 1920x1080 Xvfb screen, plain and smooth,
// against the same run's floor: one capture of the screen plus one encode of a target-sized picture.
// Usage: snapshot_request_bench [requests per case]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "LoopbackServer.h"
#include "XRandrLayout.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Platform.h"

using fernpad::bench::MedianMs;

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
  fernpad::test::Xvfb xvfb("1920x1080x24");
  for (int i = 0; i < 8; ++i)  // something to encode: coloured bands
    fernpad::test::PaintRoot(xvfb.Display(), i * 240, 0, 240, 1080, 0x203040u * static_cast<unsigned>(i + 1));

  fernpad::X11Platform platform(xvfb.Display());
  fernpad::X11Capture capture(xvfb.Display());
  fernpad::settings::Options options;
  fernpad::bench::LoopbackServer server(platform, options);
  fernpad::bench::Connection connection(server.HttpPort());

  std::printf("snapshot requests on a 1920x1080 screen, median of %d\n", runs);
  struct Case {
    const char* command;
    int width, height, quality;
  };
  for (const Case& c : {Case{"a=ss", 400, 300, 80}, Case{"a=ssPad", 1024, 768, 90}}) {
    fernpad::Bitmap24 screen;
    capture.Capture(screen);
    fernpad::Bitmap24 target(c.width, c.height);
    const double captureMs = MedianMs(runs, [&] { capture.Capture(screen); });
    const double encodeMs = MedianMs(runs, [&] { fernpad::EncodeJpeg(target, c.quality); });
    const double floorMs = captureMs + encodeMs;
    for (bool smooth : {false, true}) {
      options.SmoothImage = smooth;
      server.LoadSettings(options);
      connection.Get(std::string("x:0&y:0&") + c.command);  // warm
      const double requestMs = MedianMs(runs, [&] { connection.Get(std::string("x:0&y:0&") + c.command); });
      std::printf(
          "%-8s %-6s request %6.2f ms   floor %6.2f ms (capture %.2f + encode %.2f)   ratio %.2f  (goal "
          "%s)\n",
          c.command, smooth ? "smooth" : "plain", requestMs, floorMs, captureMs, encodeMs,
          requestMs / floorMs, smooth ? "<= 2.5" : "<= 1.5");
    }
  }
  return 0;
}
