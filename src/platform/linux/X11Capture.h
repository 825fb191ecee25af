#pragma once

#include <memory>
#include <string>

#include "core/Bitmap24.h"

struct _XDisplay;  // Xlib's Display, kept out of this header

namespace fernpad {

// Copies the primary monitor of an X display into 24-bit bitmaps: the rectangle PrimaryMonitorRect
// (X11Monitors.h) picks, read anew on every call, with its top-left corner as origin, at the monitor's own
// size and without the mouse cursor. Reads through a MIT-SHM segment that is kept between calls (and made
// anew when the size changes); without the extension, or when the server cannot attach the segment (a remote
// display), it reads with XGetImage. Uses a connection of its own; protocol errors on it are caught per
// connection and never reach the process-wide Xlib error handler. Thread-safe: calls are serialised.
class X11Capture {
 public:
  // displayName "" means $DISPLAY. Throws std::runtime_error when the display cannot be opened or its root
  // visual is not a true-colour one.
  explicit X11Capture(const std::string& displayName);
  ~X11Capture();
  X11Capture(const X11Capture&) = delete;
  X11Capture& operator=(const X11Capture&) = delete;

  // Fills `out` with the primary monitor's current pixels. Throws std::runtime_error when the screen cannot
  // be read (the monitor layout changed during the read, or the connection is lost); `out` may then have
  // been resized but is otherwise unspecified. A lost connection reaches this only when the process-wide
  // Xlib I/O error handler returns: Xlib's own ends the process.
  void Capture(Bitmap24& out);

  // Whether the last successful Capture read through shared memory.
  bool UsedSharedMemory() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad
