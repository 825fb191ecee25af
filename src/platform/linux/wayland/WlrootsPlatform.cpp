#include "platform/linux/wayland/WlrootsPlatform.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/Log.h"
#include "platform/linux/X11KeyTables.h"
#include "platform/linux/wayland/WaylandKeymap.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace fernpad {

namespace {

// Owns a file descriptor.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

struct Globals {
  wl_seat* seat = nullptr;
  wl_output* output = nullptr;
  wl_shm* shm = nullptr;
  zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
  std::uint32_t pointerManagerVersion = 0;
  zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
  zwlr_screencopy_manager_v1* screencopy = nullptr;
  int outputWidth = 0, outputHeight = 0;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
  auto& g = *static_cast<Globals*>(data);
  const auto bind = [&](const wl_interface* iface, std::uint32_t most) {
    return wl_registry_bind(registry, name, iface, std::min(version, most));
  };
  if (!std::strcmp(interface, wl_seat_interface.name) && !g.seat) {
    g.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
  } else if (!std::strcmp(interface, wl_output_interface.name) && !g.output) {
    g.output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
  } else if (!std::strcmp(interface, wl_shm_interface.name)) {
    g.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (!std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name)) {
    g.pointerManagerVersion = std::min(version, 2u);
    g.pointerManager =
        static_cast<zwlr_virtual_pointer_manager_v1*>(bind(&zwlr_virtual_pointer_manager_v1_interface, 2));
  } else if (!std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name)) {
    g.keyboardManager =
        static_cast<zwp_virtual_keyboard_manager_v1*>(bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
  } else if (!std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name)) {
    g.screencopy = static_cast<zwlr_screencopy_manager_v1*>(bind(&zwlr_screencopy_manager_v1_interface, 1));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnOutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                      const char*, int32_t) {}
void OnOutputMode(void* data, wl_output*, std::uint32_t flags, int32_t width, int32_t height, int32_t) {
  if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
  auto& g = *static_cast<Globals*>(data);
  g.outputWidth = width;
  g.outputHeight = height;
}
void OnOutputDone(void*, wl_output*) {}
void OnOutputScale(void*, wl_output*, int32_t) {}
void OnOutputText(void*, wl_output*, const char*) {}  // name and description: not sent at version 2

const wl_output_listener kOutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone,
                                            OnOutputScale,    OnOutputText, OnOutputText};

std::uint32_t NowMs() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// Reads what the compositor sent until done() holds or the time is up; false on timeout or a dead
// connection.
template <class Done>
bool DispatchUntil(wl_display* dpy, Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (wl_display_dispatch_pending(dpy) < 0) return false;
    if (done()) break;
    while (wl_display_prepare_read(dpy) != 0)
      if (wl_display_dispatch_pending(dpy) < 0) return false;
    if (wl_display_flush(dpy) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(dpy);
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      wl_display_cancel_read(dpy);
      return false;
    }
    pollfd p{wl_display_get_fd(dpy), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      wl_display_cancel_read(dpy);
      continue;
    }
    if (wl_display_read_events(dpy) < 0) return false;
  }
  return true;
}

// Frees the client side of every bound global (the compositor frees its side when the connection ends).
void FreeGlobals(Globals& g) {
  for (void* proxy : {static_cast<void*>(g.seat), static_cast<void*>(g.output), static_cast<void*>(g.shm),
                      static_cast<void*>(g.pointerManager), static_cast<void*>(g.keyboardManager),
                      static_cast<void*>(g.screencopy)})
    if (proxy) wl_proxy_destroy(static_cast<wl_proxy*>(proxy));
  g = {};
}

struct FrameState {
  std::uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool gotBuffer = false, yInvert = false, ready = false, failed = false;
};

void OnFrameBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
                   std::uint32_t height, std::uint32_t stride) {
  auto& f = *static_cast<FrameState*>(data);
  f = {format, width, height, stride, true, f.yInvert, false, false};
}
void OnFrameFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
  static_cast<FrameState*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void OnFrameReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
  static_cast<FrameState*>(data)->ready = true;
}
void OnFrameFailed(void* data, zwlr_screencopy_frame_v1*) {
  static_cast<FrameState*>(data)->failed = true;
}
void OnFrameDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t) {}
void OnFrameDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnFrameBufferDone(void*, zwlr_screencopy_frame_v1*) {}

const zwlr_screencopy_frame_v1_listener kFrameListener = {OnFrameBuffer,    OnFrameFlags,  OnFrameReady,
                                                          OnFrameFailed,    OnFrameDamage, OnFrameDmabuf,
                                                          OnFrameBufferDone};

}  // namespace

// Snapshots travel on a connection of their own: the compositor takes 50-80 ms to copy a 1080p screen, and
// on the input connection every move and key would wait behind it.
struct CaptureConnection {
  std::mutex mutex;  // one snapshot at a time
  wl_display* dpy = nullptr;
  wl_registry* registry = nullptr;
  Globals g;

  ~CaptureConnection() { Close(); }

  // Connects at the first snapshot, and again after the connection was lost.
  void Open(const std::string& displayName) {
    if (dpy) return;
    dpy = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!dpy)
      throw std::runtime_error("cannot connect to the Wayland display " + displayName + " for snapshots");
    registry = wl_display_get_registry(dpy);
    wl_registry_add_listener(registry, &kRegistryListener, &g);
    if (wl_display_roundtrip(dpy) < 0) {
      Close();
      throw std::runtime_error("the connection to the Wayland compositor is lost");
    }
  }
  void Close() {
    if (!dpy) return;
    FreeGlobals(g);
    if (registry) wl_registry_destroy(registry);
    registry = nullptr;
    wl_display_disconnect(dpy);
    dpy = nullptr;
  }
};

struct WlrootsPlatform::Impl {
  std::mutex mutex;  // one request sequence at a time on the input connection
  std::string displayName;
  CaptureConnection capture;
  wl_display* dpy = nullptr;
  wl_registry* registry = nullptr;
  Globals g;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  Point pos;  // where this backend put the pointer
  std::int64_t wheelRemainder = 0;
  bool movesQueued = false;
  bool broken = false;  // the connection failed; said once, then every call does nothing

  wayland::WaylandKeymap keymap;
  xkb_context* xkb = nullptr;
  xkb_keymap* xkbKeymap = nullptr;
  xkb_state* xkbState = nullptr;
  std::set<std::uint32_t> held;  // keycodes pressed and not released
  std::optional<std::uint8_t> typing;
  std::uint32_t sentMods[4] = {~0u, ~0u, ~0u, ~0u};

  ~Impl() {
    if (xkbState) xkb_state_unref(xkbState);
    if (xkbKeymap) xkb_keymap_unref(xkbKeymap);
    if (xkb) xkb_context_unref(xkb);
    if (dpy) {
      for (std::uint32_t key : held)
        if (keyboard) zwp_virtual_keyboard_v1_key(keyboard, NowMs(), key - 8, WL_KEYBOARD_KEY_STATE_RELEASED);
      if (keyboard) zwp_virtual_keyboard_v1_destroy(keyboard);
      if (pointer) zwlr_virtual_pointer_v1_destroy(pointer);
      wl_display_roundtrip(dpy);
      FreeGlobals(g);
      if (registry) wl_registry_destroy(registry);
      wl_display_disconnect(dpy);
    }
  }

  void Flush() {
    if (broken) return;
    if (wl_display_flush(dpy) < 0 && errno != EAGAIN) {
      broken = true;
      log::Write("Wayland: the connection to the compositor is lost; input and snapshots stop");
    }
  }

  Size OutputSize() const { return {std::max(g.outputWidth, 1), std::max(g.outputHeight, 1)}; }

  Point Clamp(Point p) const {
    const Size s = OutputSize();
    return {std::clamp(p.x, 0, s.width - 1), std::clamp(p.y, 0, s.height - 1)};
  }

  void MoveAbsolute(Point p) {
    pos = Clamp(p);
    const Size s = OutputSize();
    zwlr_virtual_pointer_v1_motion_absolute(
        pointer, NowMs(), static_cast<std::uint32_t>(pos.x), static_cast<std::uint32_t>(pos.y),
        static_cast<std::uint32_t>(s.width), static_cast<std::uint32_t>(s.height));
    zwlr_virtual_pointer_v1_frame(pointer);
  }

  // Sends the keymap text and makes the local copy the modifier state is computed with.
  void UploadKeymap() {
    const std::string text = keymap.Text();
    xkb_keymap* compiled =
        xkb_keymap_new_from_string(xkb, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!compiled) throw std::runtime_error("Wayland: the program's own keymap does not compile");
    if (xkbState) xkb_state_unref(xkbState);
    if (xkbKeymap) xkb_keymap_unref(xkbKeymap);
    xkbKeymap = compiled;
    xkbState = xkb_state_new(xkbKeymap);
    for (std::uint32_t key : held) xkb_state_update_key(xkbState, key, XKB_KEY_DOWN);
    Fd fd(memfd_create("fernpad-keymap", MFD_CLOEXEC));
    const std::size_t size = text.size() + 1;
    if (fd.fd < 0 || write(fd.fd, text.c_str(), size) != static_cast<ssize_t>(size))
      throw std::runtime_error("Wayland: cannot hand the keymap over");
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd.fd,
                                   static_cast<std::uint32_t>(size));
    sentMods[0] = ~0u;  // the compositor starts the new keymap without modifiers: send them again
  }

  void Key(std::uint32_t keycode, bool down) {
    if (down == held.contains(keycode)) return;  // a second press, or a release of a key not held
    if (down)
      held.insert(keycode);
    else
      held.erase(keycode);
    zwp_virtual_keyboard_v1_key(keyboard, NowMs(), keycode - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(xkbState, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    const std::uint32_t mods[4] = {xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_DEPRESSED),
                                   xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_LATCHED),
                                   xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_LOCKED),
                                   xkb_state_serialize_layout(xkbState, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (!std::equal(mods, mods + 4, sentMods)) {
      zwp_virtual_keyboard_v1_modifiers(keyboard, mods[0], mods[1], mods[2], mods[3]);
      std::copy(mods, mods + 4, sentMods);
    }
  }
};

WlrootsPlatform::WlrootsPlatform(const std::string& displayName) : impl_(std::make_unique<Impl>()) {
  auto& im = *impl_;
  im.displayName = displayName;
  im.dpy = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
  if (!im.dpy) throw std::runtime_error("cannot connect to the Wayland display " + displayName);
  im.registry = wl_display_get_registry(im.dpy);
  wl_registry_add_listener(im.registry, &kRegistryListener, &im.g);
  wl_display_roundtrip(im.dpy);
  if (im.g.output) wl_output_add_listener(im.g.output, &kOutputListener, &im.g);
  wl_display_roundtrip(im.dpy);
  if (!im.g.seat || !im.g.output)
    throw std::runtime_error("the Wayland compositor on " + displayName + " shows no seat or no output");
  if (!im.g.pointerManager || !im.g.keyboardManager)
    throw std::runtime_error("the Wayland compositor on " + displayName +
                             " offers no virtual pointer or virtual keyboard");
  im.pointer = im.g.pointerManagerVersion >= 2
                   ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(
                         im.g.pointerManager, im.g.seat, im.g.output)
                   : zwlr_virtual_pointer_manager_v1_create_virtual_pointer(im.g.pointerManager, im.g.seat);
  im.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(im.g.keyboardManager, im.g.seat);
  im.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (!im.xkb) throw std::runtime_error("cannot start xkbcommon");
  im.UploadKeymap();
  // The logic reads the position this backend knows: make it true from the start.
  im.MoveAbsolute({im.g.outputWidth / 2, im.g.outputHeight / 2});
  if (wl_display_roundtrip(im.dpy) < 0)
    throw std::runtime_error("the Wayland compositor on " + displayName + " refused the virtual devices");
}

WlrootsPlatform::~WlrootsPlatform() = default;

bool WlrootsPlatform::GetCursorPos(Point& p) {
  std::lock_guard lock(impl_->mutex);
  p = impl_->pos;
  return !impl_->broken;
}

bool WlrootsPlatform::SetCursorPos(Point p) {
  std::lock_guard lock(impl_->mutex);
  impl_->MoveAbsolute(p);
  impl_->Flush();
  log::Verbose("inject: cursor ", impl_->pos.x, ",", impl_->pos.y);
  return !impl_->broken;
}

bool WlrootsPlatform::MoveCursorBy(int dx, int dy) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  const Point to = im.Clamp({AddClamped(im.pos.x, dx), AddClamped(im.pos.y, dy)});
  const int mx = to.x - im.pos.x, my = to.y - im.pos.y;
  im.pos = to;
  if (mx == 0 && my == 0) return !im.broken;
  zwlr_virtual_pointer_v1_motion(im.pointer, NowMs(), wl_fixed_from_int(mx), wl_fixed_from_int(my));
  zwlr_virtual_pointer_v1_frame(im.pointer);
  if (HoldingInput())
    im.movesQueued = true;
  else
    im.Flush();
  log::Verbose("inject: cursor by ", mx, ",", my);
  return !im.broken;
}

void WlrootsPlatform::FlushInput() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->movesQueued) return;
  impl_->Flush();
  impl_->movesQueued = false;
}

void WlrootsPlatform::SendMouseInput(std::uint32_t flags, std::int32_t mouseData) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  for (const ButtonChange& b : ButtonChanges(flags)) {
    zwlr_virtual_pointer_v1_button(
        im.pointer, NowMs(), b.code,
        b.press ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(im.pointer);
  }
  if (flags & mouse::kWheel) {
    const int steps = wayland::WheelSteps(im.wheelRemainder, mouseData, kMaxWheelClicks);
    if (steps != 0) {
      // 15 is the distance one notch of a real wheel reports.
      zwlr_virtual_pointer_v1_axis_source(im.pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
      zwlr_virtual_pointer_v1_axis_discrete(im.pointer, NowMs(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                            wl_fixed_from_int(15 * steps), steps);
      zwlr_virtual_pointer_v1_frame(im.pointer);
    }
  }
  im.Flush();
  log::Verbose("inject: mouse flags 0x", std::hex, flags, std::dec, " data ", mouseData);
}

void WlrootsPlatform::SendKeyInput(std::uint16_t virtualKey, bool keyUp) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  log::Verbose("inject: key 0x", std::hex, virtualKey, std::dec, keyUp ? " up" : " down");
  if (im.typing) return;  // the character is typed whole at its end, from its own keysym
  const std::uint32_t keycode = im.keymap.KeycodeOfVk(virtualKey);
  if (keycode == 0) return;
  im.Key(keycode, !keyUp);
  im.Flush();
}

void WlrootsPlatform::BeginTypedCharacter(std::uint8_t c) {
  std::lock_guard lock(impl_->mutex);
  impl_->typing = c;
}

void WlrootsPlatform::EndTypedCharacter() {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  if (!im.typing) return;
  const std::uint8_t c = *im.typing;
  im.typing.reset();
  const std::vector<x11keys::Sym> syms = KeysymsToType(c, "Wayland");
  if (syms.empty()) return;
  const auto binding = im.keymap.KeycodeForKeysym(static_cast<wayland::Sym>(syms.front()));
  if (binding.changed) im.UploadKeymap();
  im.Key(binding.keycode, true);
  im.Key(binding.keycode, false);
  im.Flush();
}

Size WlrootsPlatform::PrimaryScreenSize() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->broken) wayland::Pump(impl_->dpy);  // a changed mode arrives as an event
  return {impl_->g.outputWidth, impl_->g.outputHeight};
}

void WlrootsPlatform::CaptureScreen(Bitmap24& out) {
  auto& cap = impl_->capture;
  std::lock_guard lock(cap.mutex);
  cap.Open(impl_->displayName);
  // A connection the compositor closed is opened anew at the next snapshot.
  struct CloseWhenLost {
    CaptureConnection& c;
    ~CloseWhenLost() {
      if (wl_display_get_error(c.dpy) != 0) c.Close();
    }
  } closeWhenLost{cap};
  if (!cap.g.screencopy || !cap.g.shm || !cap.g.output)
    throw std::runtime_error("the Wayland compositor offers no screencopy");
  FrameState state;
  zwlr_screencopy_frame_v1* frame =
      zwlr_screencopy_manager_v1_capture_output(cap.g.screencopy, 0, cap.g.output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &state);
  struct FrameGuard {
    zwlr_screencopy_frame_v1* f;
    ~FrameGuard() { zwlr_screencopy_frame_v1_destroy(f); }
  } frameGuard{frame};
  if (!DispatchUntil(
          cap.dpy, [&] { return state.gotBuffer || state.failed; }, std::chrono::seconds(5)) ||
      state.failed)
    throw std::runtime_error("the Wayland compositor did not offer the screen");
  const std::size_t size = static_cast<std::size_t>(state.stride) * state.height;
  if (state.width == 0 || state.height == 0 || state.stride < state.width * 4 || state.width > 32767 ||
      state.height > 32767)
    throw std::runtime_error("the Wayland compositor offered an unusable screen buffer");
  const bool rgbOrder = state.format == WL_SHM_FORMAT_XBGR8888 || state.format == WL_SHM_FORMAT_ABGR8888;
  if (!rgbOrder && state.format != WL_SHM_FORMAT_XRGB8888 && state.format != WL_SHM_FORMAT_ARGB8888)
    throw std::runtime_error("the Wayland compositor offered the screen in an unknown pixel format");
  Fd fd(memfd_create("fernpad-screen", MFD_CLOEXEC));
  if (fd.fd < 0 || ftruncate(fd.fd, static_cast<off_t>(size)) != 0)
    throw std::runtime_error("no memory for the screen");
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.fd, 0);
  if (map == MAP_FAILED) throw std::runtime_error("no memory for the screen");
  struct MapGuard {
    void* p;
    std::size_t n;
    ~MapGuard() { munmap(p, n); }
  } mapGuard{map, size};
  wl_shm_pool* pool = wl_shm_create_pool(cap.g.shm, fd.fd, static_cast<int32_t>(size));
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(state.width),
                                                static_cast<int32_t>(state.height),
                                                static_cast<int32_t>(state.stride), state.format);
  wl_shm_pool_destroy(pool);
  zwlr_screencopy_frame_v1_copy(frame, buffer);
  const bool done = DispatchUntil(
      cap.dpy, [&] { return state.ready || state.failed; }, std::chrono::seconds(5));
  wl_buffer_destroy(buffer);
  if (!done || state.failed) throw std::runtime_error("the Wayland compositor did not copy the screen");
  out.SetSize(static_cast<int>(state.width), static_cast<int>(state.height));
  const auto* src = static_cast<const std::uint8_t*>(map);
  for (std::uint32_t y = 0; y < state.height; ++y) {
    const std::uint8_t* in =
        src + static_cast<std::size_t>(state.yInvert ? state.height - 1 - y : y) * state.stride;
    std::uint8_t* row = out.Row(static_cast<int>(y));
    for (std::uint32_t x = 0; x < state.width; ++x, in += 4, row += 3) {
      // Little-endian XRGB8888 lies in memory as blue, green, red, unused: the bitmap's own order.
      row[0] = rgbOrder ? in[2] : in[0];
      row[1] = in[1];
      row[2] = rgbOrder ? in[0] : in[2];
    }
  }
}

bool WaylandOffersWlrootsInput(const std::string& displayName) {
  wl_display* dpy = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
  if (!dpy) return false;
  Globals g;
  wl_registry* registry = wl_display_get_registry(dpy);
  wl_registry_add_listener(registry, &kRegistryListener, &g);
  wl_display_roundtrip(dpy);
  const bool offered = g.pointerManager && g.keyboardManager;
  FreeGlobals(g);
  wl_registry_destroy(registry);
  wl_display_disconnect(dpy);
  return offered;
}

}  // namespace fernpad
