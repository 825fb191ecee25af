#include "platform/linux/X11Monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace fernpad {
namespace {

void ReadCrtcs(Display* display, Window root, int randrMinor, X11MonitorLayout& layout) {
  XRRScreenResources* resources =
      randrMinor >= 3 ? XRRGetScreenResourcesCurrent(display, root) : XRRGetScreenResources(display, root);
  if (!resources) return;
  auto crtcRect = [&](RRCrtc crtc) -> std::optional<Rect> {
    XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, crtc);
    if (!info) return std::nullopt;
    std::optional<Rect> rect;
    if (info->mode != None && info->width > 0 && info->height > 0) {
      rect = Rect{info->x, info->y, static_cast<int>(info->width), static_cast<int>(info->height)};
    }
    XRRFreeCrtcInfo(info);
    return rect;
  };
  for (int i = 0; i < resources->ncrtc; ++i) {
    if (auto rect = crtcRect(resources->crtcs[i])) layout.activeCrtcs.push_back(*rect);
  }
  if (const RROutput primary = XRRGetOutputPrimary(display, root); primary != None) {
    if (XRROutputInfo* output = XRRGetOutputInfo(display, resources, primary)) {
      if (output->crtc != None) layout.primaryCrtc = crtcRect(output->crtc);
      XRRFreeOutputInfo(output);
    }
  }
  XRRFreeScreenResources(resources);
}

void ReadMonitors(Display* display, Window root, X11MonitorLayout& layout) {
  int count = 0;
  // Active monitors only: those with an area (one whose outputs are all dark has none).
  XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
  if (!monitors) return;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    if (m.width <= 0 || m.height <= 0) continue;
    const Rect rect{m.x, m.y, m.width, m.height};
    layout.monitors.push_back(rect);
    if (m.primary && !layout.primaryMonitor) layout.primaryMonitor = rect;
  }
  XRRFreeMonitors(monitors);
}

}  // namespace

std::optional<X11MonitorLayout> ReadMonitorLayout(Display* display, Window root, int randrMinor) {
  X11MonitorLayout layout;
  Window rootReturn = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, rootDepth = 0;
  if (!XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &rootDepth))
    return std::nullopt;
  layout.screen = {static_cast<int>(width), static_cast<int>(height)};
  if (randrMinor >= 5) ReadMonitors(display, root, layout);
  // The server makes a monitor of every lit CRTC that no client-made monitor shows: the CRTCs are needed
  // only without monitors.
  if (randrMinor >= 2 && layout.monitors.empty()) ReadCrtcs(display, root, randrMinor, layout);
  return layout;
}

Rect PrimaryMonitorRect(const X11MonitorLayout& layout) {
  auto clip = [&](const Rect& r) {
    const int left = std::max(r.left, 0);
    const int top = std::max(r.top, 0);
    const int right = std::min(r.left + r.width, layout.screen.width);
    const int bottom = std::min(r.top + r.height, layout.screen.height);
    if (right <= left || bottom <= top) return Rect{};
    return Rect{left, top, right - left, bottom - top};
  };
  auto usable = [](const Rect& r) { return r.width > 0 && r.height > 0; };
  if (layout.primaryMonitor) {
    if (const Rect r = clip(*layout.primaryMonitor); usable(r)) return r;
  }
  for (const Rect& monitor : layout.monitors) {
    if (const Rect r = clip(monitor); usable(r)) return r;
  }
  if (layout.primaryCrtc) {
    if (const Rect r = clip(*layout.primaryCrtc); usable(r)) return r;
  }
  for (const Rect& crtc : layout.activeCrtcs) {
    if (const Rect r = clip(crtc); usable(r)) return r;
  }
  return clip(Rect{0, 0, layout.screen.width, layout.screen.height});
}

std::vector<Rect> MonitorRects(const X11MonitorLayout& layout) {
  std::vector<Rect> result{PrimaryMonitorRect(layout)};
  for (const Rect& r : layout.monitors.empty() ? layout.activeCrtcs : layout.monitors) {
    if (r != result.front()) result.push_back(r);
  }
  return result;
}

}  // namespace fernpad
