#include "XRandrLayout.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <stdexcept>

namespace fernpad::test {

void PlaceFirstCrtc(const std::string& display, int x, int y, int width, int height, bool primary) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) throw std::runtime_error("cannot open display " + display);
  const Window root = DefaultRootWindow(d);
  XRRScreenResources* res = XRRGetScreenResources(d, root);
  if (!res || res->noutput < 1 || res->ncrtc < 1) {
    if (res) XRRFreeScreenResources(res);
    XCloseDisplay(d);
    throw std::runtime_error("the X server has no RandR output to place");
  }
  static int modes = 0;
  const std::string name =
      "fernpad-" + std::to_string(width) + "x" + std::to_string(height) + "-" + std::to_string(++modes);
  XRRModeInfo mode{};
  mode.width = static_cast<unsigned>(width);
  mode.height = static_cast<unsigned>(height);
  mode.hTotal = static_cast<unsigned>(width);
  mode.vTotal = static_cast<unsigned>(height);
  mode.dotClock = 60ul * static_cast<unsigned long>(width) * static_cast<unsigned long>(height);
  mode.name = const_cast<char*>(name.c_str());
  mode.nameLength = static_cast<unsigned>(name.size());
  const RRMode id = XRRCreateMode(d, root, &mode);
  XRRAddOutputMode(d, res->outputs[0], id);
  const Status s =
      XRRSetCrtcConfig(d, res, res->crtcs[0], CurrentTime, x, y, id, RR_Rotate_0, res->outputs, 1);
  XRRSetOutputPrimary(d, root, primary ? res->outputs[0] : None);
  XRRFreeScreenResources(res);
  XSync(d, False);
  XCloseDisplay(d);
  if (s != RRSetConfigSuccess) throw std::runtime_error("the X server refused the monitor layout");
}

void SetMonitors(const std::string& display, const std::vector<MonitorSpec>& monitors) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) throw std::runtime_error("cannot open display " + display);
  const Window root = DefaultRootWindow(d);
  int major = 0, minor = 0;
  if (!XRRQueryVersion(d, &major, &minor) || (major == 1 && minor < 5)) {
    XCloseDisplay(d);
    throw std::runtime_error("the X server has no RandR 1.5 monitors");
  }
  // Refusals arrive as protocol errors: counted here instead of ending the process.
  static int errors = 0;
  errors = 0;
  const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
    ++errors;
    return 0;
  });
  int count = 0;
  if (XRRMonitorInfo* old = XRRGetMonitors(d, root, False, &count)) {
    for (int i = 0; i < count; ++i) {
      if (!old[i].automatic) XRRDeleteMonitor(d, root, old[i].name);
    }
    XRRFreeMonitors(old);
  }
  XRRScreenResources* res = XRRGetScreenResources(d, root);
  int made = 0;
  for (const MonitorSpec& m : monitors) {
    const bool withOutput = m.firstOutput && res && res->noutput > 0;
    XRRMonitorInfo* info = XRRAllocateMonitor(d, withOutput ? 1 : 0);
    const std::string name = "fernpad-" + std::to_string(made++);
    info->name = XInternAtom(d, name.c_str(), False);
    info->primary = m.primary ? True : False;
    info->automatic = False;
    info->x = m.x;
    info->y = m.y;
    info->width = m.width;
    info->height = m.height;
    info->mwidth = m.width * 254 / 960;  // 96 dots per inch
    info->mheight = m.height * 254 / 960;
    if (withOutput) info->outputs[0] = res->outputs[0];
    XRRSetMonitor(d, root, info);
    XRRFreeMonitors(info);
  }
  if (res) XRRFreeScreenResources(res);
  XSync(d, False);
  XSetErrorHandler(previous);
  XCloseDisplay(d);
  if (errors != 0) throw std::runtime_error("the X server refused the monitors");
}

std::vector<SplitScreen> SplitScreens() {
  return {
      {"primary at the corner, second monitor to its right",
       "3200x1080x24",
       {{0, 0, 1920, 1080, true, true}, {1920, 0, 1280, 1080}},
       {0, 0, 1920, 1080, true}},
      {"primary right of and below the other monitor",
       "3200x1200x24",
       {{0, 0, 1280, 1024, false, true}, {1280, 120, 1920, 1080, true}},
       {1280, 120, 1920, 1080, true}},
  };
}

}  // namespace fernpad::test

namespace fernpad::test {

void PaintRoot(const std::string& display, int x, int y, int width, int height, unsigned rgb) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) throw std::runtime_error("cannot open display " + display);
  const Window root = DefaultRootWindow(d);
  XColor colour{};
  colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
  colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
  colour.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
  colour.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &colour);
  GC gc = XCreateGC(d, root, 0, nullptr);
  XSetForeground(d, gc, colour.pixel);
  XSetSubwindowMode(d, gc, IncludeInferiors);
  XFillRectangle(d, root, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFreeGC(d, gc);
  XSync(d, False);
  XCloseDisplay(d);
}

}  // namespace fernpad::test
