#include "XEventRecorder.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace fernpad::test {

XEventRecorder::XEventRecorder(const std::string& display, int x, int y, int width, int height) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) throw std::runtime_error("cannot open display " + display);
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.background_pixel = BlackPixel(dpy_, DefaultScreen(dpy_));
  attrs.event_mask =
      KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  win_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), x, y, static_cast<unsigned>(width),
                       static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                       CWOverrideRedirect | CWBackPixel | CWEventMask, &attrs);
  XMapRaised(dpy_, win_);
  for (XEvent ev;;) {
    XNextEvent(dpy_, &ev);
    if (ev.type == MapNotify && ev.xmap.window == win_) break;
  }
  XSetInputFocus(dpy_, win_, RevertToParent, CurrentTime);
  XSync(dpy_, False);
}

XEventRecorder::~XEventRecorder() {
  if (dpy_) {
    XDestroyWindow(dpy_, win_);
    XCloseDisplay(dpy_);
  }
}

const std::vector<XEventRecorder::Event>& XEventRecorder::Collect() {
  // The server flushes its input requests without waiting for the X server, which may carry them out just
  // after this client's round trip: read until two rounds 20 ms apart bring nothing new (at most 1 s).
  std::size_t quietRounds = 0;
  for (int round = 0; round < 50 && quietRounds < 2; ++round) {
    if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::size_t before = events_.size();
    ReadArrived();
    quietRounds = events_.size() == before ? quietRounds + 1 : 0;
  }
  return events_;
}

void XEventRecorder::ReadArrived() {
  XSync(dpy_, False);
  while (XPending(dpy_) > 0) {
    XEvent ev;
    XNextEvent(dpy_, &ev);
    Event rec;
    rec.type = ev.type;
    switch (ev.type) {
      case KeyPress:
      case KeyRelease: {
        rec.detail = ev.xkey.keycode;
        rec.state = ev.xkey.state;
        char buf[16];
        KeySym sym = 0;
        const int n = XLookupString(&ev.xkey, buf, sizeof buf, &sym, nullptr);
        rec.keysym = sym;
        if (ev.type == KeyPress && n > 0) rec.text.assign(buf, static_cast<size_t>(n));
        break;
      }
      case ButtonPress:
      case ButtonRelease:
        rec.detail = ev.xbutton.button;
        rec.state = ev.xbutton.state;
        break;
      default:
        continue;
    }
    events_.push_back(rec);
  }
}

std::string XEventRecorder::TypedText() const {
  std::string text;
  for (const auto& e : events_)
    if (e.type == KeyPress) text += e.text;
  return text;
}

std::string XEventRecorder::Buttons() const {
  std::string out;
  for (const auto& e : events_) {
    if (e.type != ButtonPress && e.type != ButtonRelease) continue;
    if (!out.empty()) out += ' ';
    out += (e.type == ButtonPress ? '+' : '-') + std::to_string(e.detail);
  }
  return out;
}

void XEventRecorder::SetTitleAndActivate(const std::string& title) {
  XStoreName(dpy_, win_, title.c_str());
  const Atom netWmName = XInternAtom(dpy_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
  XChangeProperty(dpy_, win_, netWmName, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
  const Atom active = XInternAtom(dpy_, "_NET_ACTIVE_WINDOW", False);
  XChangeProperty(dpy_, DefaultRootWindow(dpy_), active, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&win_), 1);
  XSync(dpy_, False);
}

}  // namespace fernpad::test
