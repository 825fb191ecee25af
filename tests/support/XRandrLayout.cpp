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
