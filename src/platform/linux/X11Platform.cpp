#include "platform/linux/X11Platform.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <langinfo.h>
#include <locale.h>
#include <net/if.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "core/Log.h"
#include "platform/linux/LocaleCountry.h"
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Keyboard.h"
#include "platform/linux/X11Monitors.h"

extern char** environ;

namespace fernpad {

struct X11Platform::Impl {
  std::mutex mutex;  // Xlib calls on this connection are made one at a time
  Display* dpy = nullptr;
  Window root = 0;
  std::int64_t wheelRemainder = 0;        // wheel units not yet turned into a whole click
  bool movesQueued = false;               // moves held in Xlib's output queue, not yet flushed
  std::unique_ptr<X11Keyboard> keyboard;  // uses dpy: made after it is opened, destroyed before it is closed

  int randrEventBase = 0;
  int randrMinor = 0;  // RandR 1.x version; 0 without RandR
  bool primaryKnown = false;
  Rect primary;
  X11MonitorLayout layout;
  std::unique_ptr<X11Capture> capture;  // a connection of its own

  ~Impl() {
    keyboard.reset();  // uses dpy
    if (dpy) XCloseDisplay(dpy);
  }

  // The primary monitor's rectangle in root coordinates (PrimaryMonitorRect). Kept until RandR reports a
  // change of the screen layout. Making a monitor (`xrandr --setmonitor`) sends no event of its own: such a
  // change counts from the next one RandR reports.
  Rect Primary() {
    // Take only the RandR events off the queue: the keyboard takes its own.
    XEventsQueued(dpy, QueuedAfterReading);
    const auto isRandrEvent = [](Display*, XEvent* ev, XPointer self) -> Bool {
      const int base = reinterpret_cast<Impl*>(self)->randrEventBase;
      return base > 0 && ev->type >= base && ev->type <= base + RRNotify;
    };
    XEvent ev;
    while (XCheckIfEvent(dpy, &ev, isRandrEvent, reinterpret_cast<XPointer>(this))) {
      XRRUpdateConfiguration(&ev);
      primaryKnown = false;
    }
    if (primaryKnown) return primary;
    layout = ReadMonitorLayout(dpy, root, randrMinor).value_or(X11MonitorLayout{});
    primary = PrimaryMonitorRect(layout);
    primaryKnown = true;
    return primary;
  }

  void Click(unsigned button) {
    XTestFakeButtonEvent(dpy, button, True, CurrentTime);
    XTestFakeButtonEvent(dpy, button, False, CurrentTime);
  }
};

X11Platform::X11Platform(const std::string& displayName) : impl_(std::make_unique<Impl>()) {
  XInitThreads();
  impl_->dpy = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (!impl_->dpy) {
    const char* env = std::getenv("DISPLAY");
    const std::string name = !displayName.empty() ? displayName : (env ? env : "");
    throw std::runtime_error(name.empty()
                                 ? "no X display: DISPLAY is not set (an X server is needed to inject input)"
                                 : "cannot open the X display " + name);
  }
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(impl_->dpy, &event, &error, &major, &minor))
    throw std::runtime_error("the X server has no XTest extension");
  impl_->root = DefaultRootWindow(impl_->dpy);
  impl_->keyboard = std::make_unique<X11Keyboard>(impl_->dpy);
  int randrError = 0;
  int randrMajor = 0, randrMinor = 0;
  if (XRRQueryExtension(impl_->dpy, &impl_->randrEventBase, &randrError) &&
      XRRQueryVersion(impl_->dpy, &randrMajor, &randrMinor) && randrMajor == 1) {
    impl_->randrMinor = randrMinor;
    XRRSelectInput(impl_->dpy, impl_->root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  }
  impl_->capture = std::make_unique<X11Capture>(displayName);
}

X11Platform::~X11Platform() = default;

bool X11Platform::GetCursorPos(Point& p) {
  std::lock_guard lock(impl_->mutex);
  Window rootReturn = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  if (!XQueryPointer(impl_->dpy, impl_->root, &rootReturn, &child, &rx, &ry, &wx, &wy, &mask)) return false;
  const Rect primary = impl_->Primary();
  p = {rx - primary.left, ry - primary.top};
  return true;
}

namespace {

// A coordinate or distance as the X protocol carries it (16 bits, signed). An X screen is at most 32767
// pixels wide, so the clamped value reaches the same edge the whole one would: the server clamps the
// pointer to the screen. Truncating instead would wrap a far point round to the other side.
int ToProtocolCoordinate(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -32768, 32767));
}

}  // namespace

// Moves and buttons are flushed, not synced: the requests leave at once, in order, and nothing waits for the
// server's answer. A later read of the pointer (a round trip) sees them done.
bool X11Platform::SetCursorPos(Point p) {
  std::lock_guard lock(impl_->mutex);
  const Rect primary = impl_->Primary();
  XWarpPointer(impl_->dpy, None, impl_->root, 0, 0, 0, 0, ToProtocolCoordinate(0LL + p.x + primary.left),
               ToProtocolCoordinate(0LL + p.y + primary.top));
  XFlush(impl_->dpy);
  log::Verbose("inject: cursor ", p.x, ",", p.y);
  return true;
}

namespace {
thread_local bool t_holdingInput = false;  // this thread's moves may wait in Xlib's output queue
}  // namespace

bool X11Platform::MoveCursorBy(int dx, int dy) {
  std::lock_guard lock(impl_->mutex);
  // Relative to where the pointer is (no source or destination window): one request, no reply. Every
  // other request, and XFlush or XSync from any thread, sends the queue in order.
  XWarpPointer(impl_->dpy, None, None, 0, 0, 0, 0, ToProtocolCoordinate(dx), ToProtocolCoordinate(dy));
  if (t_holdingInput)
    impl_->movesQueued = true;
  else
    XFlush(impl_->dpy);
  log::Verbose("inject: cursor by ", dx, ",", dy);
  return true;
}

void X11Platform::HoldInput(bool hold) {
  t_holdingInput = hold;
  if (!hold) FlushInput();
}

void X11Platform::FlushInput() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->movesQueued) return;
  XFlush(impl_->dpy);
  impl_->movesQueued = false;
}

void X11Platform::SendMouseInput(std::uint32_t flags, std::int32_t mouseData) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  struct FlagButton {
    std::uint32_t flag;
    unsigned button;
    bool press;
  };
  static constexpr FlagButton kButtons[] = {
      {mouse::kLeftDown, 1, true},  {mouse::kLeftUp, 1, false},   {mouse::kMiddleDown, 2, true},
      {mouse::kMiddleUp, 2, false}, {mouse::kRightDown, 3, true}, {mouse::kRightUp, 3, false},
  };
  for (const auto& b : kButtons)
    if (flags & b.flag) XTestFakeButtonEvent(im.dpy, b.button, b.press ? True : False, CurrentTime);
  if (flags & mouse::kWheel) {
    // X turns the wheel in whole clicks (button 4 away from the user, 5 towards); keep what is left of a
    // fractional amount for the next record, so two half notches make one click.
    // One record turns at most kMaxWheelClicks clicks: a huge amount (a hostile or broken sender) would
    // otherwise hold the input lock for seconds. The excess is dropped, only a fraction is carried.
    im.wheelRemainder += mouseData;
    std::int64_t clicks = im.wheelRemainder / mouse::kWheelDelta;
    im.wheelRemainder -= clicks * mouse::kWheelDelta;
    if (std::abs(clicks) > kMaxWheelClicks) {
      log::Verbose("inject: wheel of ", clicks, " clicks cut to ", kMaxWheelClicks);
      clicks = clicks > 0 ? kMaxWheelClicks : -kMaxWheelClicks;
    }
    for (std::int64_t i = 0; i < std::abs(clicks); ++i) im.Click(clicks > 0 ? 4 : 5);
  }
  XFlush(im.dpy);
  log::Verbose("inject: mouse flags 0x", std::hex, flags, std::dec, " data ", mouseData);
}

void X11Platform::SendKeyInput(std::uint16_t virtualKey, bool keyUp) {
  std::lock_guard lock(impl_->mutex);
  impl_->keyboard->SendKey(virtualKey, keyUp);
  log::Verbose("inject: key 0x", std::hex, virtualKey, std::dec, keyUp ? " up" : " down");
}

void X11Platform::BeginTypedCharacter(std::uint8_t c) {
  std::lock_guard lock(impl_->mutex);
  impl_->keyboard->BeginTypedCharacter(c);
}

void X11Platform::EndTypedCharacter() {
  std::lock_guard lock(impl_->mutex);
  impl_->keyboard->EndTypedCharacter();
}

std::int16_t X11Platform::VkKeyScan(std::uint8_t c) {
  std::lock_guard lock(impl_->mutex);
  return impl_->keyboard->VkKeyScan(c);
}

std::string X11Platform::ForegroundWindowTitle() {
  std::lock_guard lock(impl_->mutex);
  return impl_->keyboard->ForegroundWindowTitle();
}

std::string X11Platform::KeyboardLayoutName() {
  std::lock_guard lock(impl_->mutex);
  return impl_->keyboard->LayoutName();
}

int X11Platform::CountryCode() {
  return CountryCodeFromLocale();
}

char X11Platform::DecimalSeparator() {
  return LocaleDecimalSeparator();
}

Size X11Platform::PrimaryScreenSize() {
  std::lock_guard lock(impl_->mutex);
  const Rect primary = impl_->Primary();
  return {primary.width, primary.height};
}

std::vector<Rect> X11Platform::Monitors() {
  std::lock_guard lock(impl_->mutex);
  const Rect primary = impl_->Primary();
  std::vector<Rect> result = MonitorRects(impl_->layout);
  for (Rect& r : result) {
    r.left -= primary.left;
    r.top -= primary.top;
  }
  return result;
}

Point X11Platform::ScreenOrigin() {
  std::lock_guard lock(impl_->mutex);
  const Rect primary = impl_->Primary();
  return {primary.left, primary.top};
}

void X11Platform::CaptureScreen(Bitmap24& out) {
  impl_->capture->Capture(out);
}

bool X11Platform::PowerOff() {
  return RunCommand(powerOffCommand_);
}

std::vector<std::string> X11Platform::LocalIPv4Addresses() {
  return InterfaceIPv4Addresses();
}

bool RunCommand(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> args;
  std::vector<std::string> copy = argv;
  for (auto& a : copy) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> InterfaceIPv4Addresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    if ((it->ifa_flags & IFF_LOOPBACK) || !(it->ifa_flags & IFF_UP)) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) addresses.emplace_back(text);
  }
  freeifaddrs(list);
  return addresses;
}

char LocaleDecimalSeparator() {
  // Read the user's locale by name without changing the process's own (a front end may have set it).
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (!loc) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  const char sep = (radix && radix[0] && !radix[1]) ? radix[0] : '.';
  freelocale(loc);
  return sep;
}

}  // namespace fernpad
