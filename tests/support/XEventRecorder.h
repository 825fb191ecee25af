#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace fernpad::test {

// A plain X client window that takes the keyboard focus and records the keys and buttons it receives,
// the way an application on the desktop would see them. No thread: Collect() reads what has arrived.
class XEventRecorder {
 public:
  struct Event {
    int type = 0;         // KeyPress, KeyRelease, ButtonPress, ButtonRelease
    unsigned detail = 0;  // button number or keycode
    unsigned state = 0;   // modifier state before the event
    unsigned long keysym = 0;
    std::string text;  // XLookupString's Latin-1 bytes for key presses
  };

  // Opens a window covering (x, y, width, height) of the screen, maps it and gives it the focus.
  XEventRecorder(const std::string& display, int x, int y, int width, int height);
  ~XEventRecorder();
  XEventRecorder(const XEventRecorder&) = delete;
  XEventRecorder& operator=(const XEventRecorder&) = delete;

  // Records the events that have arrived, waiting until no more come (a few tens of milliseconds): input
  // another client injected before this call is included, whether that client synced or only flushed.
  const std::vector<Event>& Collect();
  // Records what has arrived up to one round trip from now, without waiting for more.
  const std::vector<Event>& CollectArrived() {
    ReadArrived();
    return events_;
  }
  void Clear() { events_.clear(); }

  // The text typed into the window so far (key presses only), after a Collect().
  std::string TypedText() const;
  // Buttons seen, as "+1 -1 +4 -4 ..." (press +, release -), after a Collect().
  std::string Buttons() const;

  // Sets the window's title (WM_NAME and _NET_WM_NAME) and announces it as the active window on the root
  // window, as a window manager would.
  void SetTitleAndActivate(const std::string& title);

  ::Display* XDisplay() const { return dpy_; }
  Window XWindow() const { return win_; }

 private:
  void ReadArrived();  // one round trip, then every event queued
  ::Display* dpy_ = nullptr;
  Window win_ = 0;
  std::vector<Event> events_;
};

}  // namespace fernpad::test
