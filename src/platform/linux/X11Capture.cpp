#include "platform/linux/X11Capture.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>

#include "platform/linux/X11Monitors.h"

// From Xlibint.h, which is not included for its min/max macros: installs a per-connection hook that sees
// every protocol error before the process-wide handler and swallows it by returning False.
extern "C" Bool (*XESetWireToError(Display*, int, Bool (*)(Display*, XErrorEvent*, xError*)))(Display*,
                                                                                              XErrorEvent*,
                                                                                              xError*);

namespace fernpad {

namespace {

// Protocol errors of the capture connections, counted per connection.
struct ErrorTrap {
  Display* display = nullptr;
  int count = 0;
};
std::mutex gTrapsMutex;
std::vector<ErrorTrap*> gTraps;

Bool RecordError(Display* display, XErrorEvent*, xError*) {
  std::lock_guard lock(gTrapsMutex);
  for (ErrorTrap* trap : gTraps) {
    if (trap->display == display) {
      ++trap->count;
      return False;
    }
  }
  return True;  // not a capture connection: leave it to the usual handler
}

void MarkLost(Display*, void* lost) {
  *static_cast<bool*>(lost) = true;
}

int ShiftOf(unsigned long mask) {
  int shift = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}
int BitsOf(unsigned long mask) {
  int bits = 0;
  for (; mask; mask >>= 1) bits += static_cast<int>(mask & 1);
  return bits;
}

// One colour channel of a pixel value, brought to 8 bits.
struct Channel {
  unsigned long mask;
  int shift;
  unsigned long max;
  explicit Channel(unsigned long m) : mask(m), shift(ShiftOf(m)), max((1ul << BitsOf(m)) - 1) {}
  std::uint8_t operator()(unsigned long pixel) const {
    const unsigned long v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>(max == 255 ? v : (v * 255 + max / 2) / max);
  }
};

// Copies an image of the root window's visual into out (resized to the image).
void ToBitmap(const XImage& image, Bitmap24& out) {
  if (out.Width() != image.width || out.Height() != image.height) out = Bitmap24(image.width, image.height);
  const auto* data = reinterpret_cast<const std::uint8_t*>(image.data);
  const bool standardMasks =
      image.red_mask == 0xff0000 && image.green_mask == 0xff00 && image.blue_mask == 0xff;
  if (standardMasks && image.byte_order == LSBFirst &&
      (image.bits_per_pixel == 32 || image.bits_per_pixel == 24)) {
    // Memory order blue, green, red(, pad): the bitmap's own order.
    const int step = image.bits_per_pixel / 8;
    for (int y = 0; y < image.height; ++y) {
      const std::uint8_t* in =
          data + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytes_per_line);
      std::uint8_t* o = out.Row(y);
      if (step == 3) {
        std::memcpy(o, in, 3 * static_cast<std::size_t>(image.width));
        continue;
      }
      for (int x = 0; x < image.width; ++x, in += 4, o += 3) {
        o[0] = in[0];
        o[1] = in[1];
        o[2] = in[2];
      }
    }
    return;
  }
  const Channel red(image.red_mask), green(image.green_mask), blue(image.blue_mask);
  const int bytes = image.bits_per_pixel / 8;
  if (bytes < 1 || bytes > 4 || image.bits_per_pixel % 8 != 0) {
    throw std::runtime_error("X11 capture: unsupported pixel format");
  }
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* in =
        data + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytes_per_line);
    std::uint8_t* o = out.Row(y);
    for (int x = 0; x < image.width; ++x, in += bytes, o += 3) {
      unsigned long pixel = 0;
      for (int k = 0; k < bytes; ++k) {
        const unsigned long b = in[image.byte_order == LSBFirst ? k : bytes - 1 - k];
        pixel |= b << (8 * k);
      }
      o[0] = blue(pixel);
      o[1] = green(pixel);
      o[2] = red(pixel);
    }
  }
}

}  // namespace

struct X11Capture::Impl {
  std::mutex mutex;
  Display* display = nullptr;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  int randrMinor = 0;  // RandR 1.x version; 0 without RandR
  bool shmUsable = false;
  bool lost = false;
  bool usedShm = false;
  ErrorTrap trap;

  XShmSegmentInfo segment{};
  XImage* shmImage = nullptr;

  explicit Impl(const std::string& name) {
    display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display) throw std::runtime_error("X11 capture: cannot open display \"" + name + "\"");
    const int screen = DefaultScreen(display);
    root = RootWindow(display, screen);
    visual = DefaultVisual(display, screen);
    depth = DefaultDepth(display, screen);
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
      XCloseDisplay(display);
      throw std::runtime_error("X11 capture: the root window's visual is not true colour");
    }
    XSetIOErrorExitHandler(display, MarkLost, &lost);

    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor) &&
        major == 1) {
      randrMinor = minor;
    }
    shmUsable = XShmQueryExtension(display);

    // After the extensions have set up their own hooks, so that none replaces ours.
    trap.display = display;
    {
      std::lock_guard lock(gTrapsMutex);
      gTraps.push_back(&trap);
    }
    for (int code = 1; code < 256; ++code) XESetWireToError(display, code, RecordError);
  }

  ~Impl() {
    DropSegment();
    XCloseDisplay(display);
    std::lock_guard lock(gTrapsMutex);
    gTraps.erase(std::remove(gTraps.begin(), gTraps.end(), &trap), gTraps.end());
  }

  // Throws for a failed X call, naming the lost connection when that was the cause.
  [[noreturn]] void Fail(const char* what) const {
    throw std::runtime_error(lost ? "X11 capture: the connection to the X server is lost"
                                  : std::string("X11 capture: ") + what);
  }

  // Runs f and syncs; true when it raised no protocol error.
  template <class F>
  bool Clean(F&& f) {
    trap.count = 0;
    std::forward<F>(f)();
    XSync(display, False);
    return trap.count == 0 && !lost;
  }

  X11MonitorLayout Layout() {
    if (auto layout = ReadMonitorLayout(display, root, randrMinor)) return *layout;
    Fail("cannot read the screen size");
  }

  void DropSegment() {
    if (!shmImage) return;
    XShmDetach(display, &segment);
    XSync(display, False);
    XDestroyImage(shmImage);  // frees the structure only; the segment is ours
    shmdt(segment.shmaddr);
    shmImage = nullptr;
    segment = {};
  }

  // A segment image of the given size, attached to the server; false when shared memory cannot be used.
  bool Segment(int width, int height) {
    if (shmImage && shmImage->width == width && shmImage->height == height) return true;
    DropSegment();
    XImage* image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return false;
    const std::size_t bytes =
        static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
      XDestroyImage(image);
      return false;
    }
    segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = False;
    bool attached = false;
    if (segment.shmaddr != reinterpret_cast<char*>(-1)) {
      attached = Clean([&] { XShmAttach(display, &segment); });
    }
    // Marked for removal at once: it goes away with the last detach, also if this process dies.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
      if (segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
      XDestroyImage(image);
      segment = {};
      return false;
    }
    shmImage = image;
    return true;
  }

  void Capture(Bitmap24& out) {
    if (lost) Fail("");
    const Rect r = PrimaryMonitorRect(Layout());
    if (r.width <= 0 || r.height <= 0) Fail("the screen is empty");

    if (shmUsable) {
      if (!Segment(r.width, r.height)) {
        shmUsable = false;  // not on this connection: read with XGetImage from now on
      } else {
        trap.count = 0;
        if (XShmGetImage(display, root, shmImage, r.left, r.top, AllPlanes) && trap.count == 0) {
          ToBitmap(*shmImage, out);
          usedShm = true;
          return;
        }
      }
    }
    trap.count = 0;
    XImage* image = XGetImage(display, root, r.left, r.top, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    if (!image) Fail("cannot read the screen");
    std::unique_ptr<XImage, int (*)(XImage*)> owner(image, [](XImage* i) { return XDestroyImage(i); });
    ToBitmap(*image, out);
    usedShm = false;
  }
};

X11Capture::X11Capture(const std::string& displayName) : impl_(std::make_unique<Impl>(displayName)) {}

X11Capture::~X11Capture() = default;

void X11Capture::Capture(Bitmap24& out) {
  std::lock_guard lock(impl_->mutex);
  impl_->Capture(out);
}

bool X11Capture::UsedSharedMemory() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->usedShm;
}

}  // namespace fernpad
