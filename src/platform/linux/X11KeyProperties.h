#pragma once

#include <X11/Xlib.h>

#include <string>
#include <utility>
#include <vector>

// Small Xlib helpers of the keyboard backend: reading root and window properties safely.
namespace fernpad::x11keys {

// Catches the X errors of one display on this thread while it lives (a window that vanished between two
// requests must not end the process); errors of other displays or threads go to the previous handler.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* dpy) : dpy_(dpy) {
    XSync(dpy_, False);
    trapped_ = dpy_;
    failed_ = false;
    previous_ = XSetErrorHandler(&Handler);
  }
  ~ErrorTrap() {
    XSync(dpy_, False);
    XSetErrorHandler(previous_);
    trapped_ = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  bool Failed() {
    XSync(dpy_, False);
    return failed_;
  }

 private:
  static int Handler(Display* dpy, XErrorEvent* error) {
    if (dpy == trapped_) {
      failed_ = true;
      return 0;
    }
    return previous_ ? previous_(dpy, error) : 0;
  }
  Display* dpy_;
  static inline thread_local Display* trapped_ = nullptr;
  static inline thread_local bool failed_ = false;
  static inline XErrorHandler previous_ = nullptr;
};

// Reads a whole property; empty when it is missing or of another type (AnyPropertyType accepts all).
std::string ReadProperty(Display* dpy, Window w, Atom property, Atom type, int* format = nullptr);

std::vector<std::string> SplitCommas(const std::string& text);

// Layout and variant of group `group` (0-based) in an XKB symbols name such as
// "pc+de(nodeadkeys)+us:2+inet(evdev)".
std::pair<std::string, std::string> LayoutFromSymbolsName(const std::string& symbols, unsigned group);

}  // namespace fernpad::x11keys
