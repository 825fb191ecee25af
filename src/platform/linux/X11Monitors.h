#pragma once

#include <optional>
#include <vector>

#include "core/Geometry.h"

struct _XDisplay;  // Xlib's Display, kept out of this header

namespace fernpad {

// What XRandR says about the monitors of a screen, reduced to what the primary-monitor rule needs.
// Rectangles are in root-window coordinates.
struct X11MonitorLayout {
  Size screen;                         // the root window
  std::vector<Rect> monitors;          // RandR 1.5 monitors, in the server's order (the primary first)
  std::optional<Rect> primaryMonitor;  // the monitor marked primary, when one is
  // Read only when there are no monitors (RandR below 1.5):
  std::vector<Rect> activeCrtcs;    // every CRTC showing a mode, in the server's order
  std::optional<Rect> primaryCrtc;  // the CRTC of the primary output, when one is set and lit
};

// Reads the layout of the screen whose root window is given. randrMinor is the RandR 1.x version the server
// speaks: from 1.5 on the monitors are read, and the CRTCs only when there are none; below 1.2 neither.
// Empty when the screen's size cannot be read.
std::optional<X11MonitorLayout> ReadMonitorLayout(_XDisplay* display, unsigned long root, int randrMinor);

// The primary monitor's rectangle: the one rule for where screen coordinates start and what W, H and the
// snapshots are, shared by input, window placement and capture. It is the RandR 1.5 monitor marked primary
// (also one made with `xrandr --setmonitor`, as desktops and Qt see them), else the first monitor, else the
// primary output's CRTC, else the first lit CRTC, else the whole screen; each candidate clipped to the screen
// and passed over (for the next monitor or CRTC) when nothing of it is left. Empty only when the screen is.
Rect PrimaryMonitorRect(const X11MonitorLayout& layout);

// Every monitor's rectangle, the primary one (PrimaryMonitorRect) first, then the RandR monitors, or
// without them the lit CRTCs, that differ from it, in the server's order.
std::vector<Rect> MonitorRects(const X11MonitorLayout& layout);

}  // namespace fernpad
