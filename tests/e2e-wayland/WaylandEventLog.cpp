// A full-screen Wayland window in one colour that prints, one line each, what reaches it:
//   ready W H / pointer / keymap / enter X Y (and motion X Y) / motion X Y / button CODE STATE / discrete
//   AXIS STEPS / text UTF8
// Usage: fernpad_wayland_event_log RRGGBB   (the display from $WAYLAND_DISPLAY); ends when stdin closes.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xdg-shell-client-protocol.h"

namespace {

struct App {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  wl_seat* seat = nullptr;
  xdg_wm_base* wm = nullptr;
  wl_surface* surface = nullptr;
  std::uint32_t colour = 0;
  int width = 0, height = 0;
  bool drawn = false;
  xkb_context* xkb = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* state = nullptr;
  wl_pointer* pointer = nullptr;
  wl_keyboard* keyboard = nullptr;
};

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Draw(App& a) {
  const int w = a.width > 0 ? a.width : 1920, h = a.height > 0 ? a.height : 1080;
  const int stride = w * 4, size = stride * h;
  const int fd = memfd_create("event-log", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, size) != 0) std::exit(2);
  auto* px = static_cast<std::uint32_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  for (int i = 0; i < w * h; ++i) px[i] = 0xFF000000u | a.colour;
  munmap(px, size);
  wl_shm_pool* pool = wl_shm_create_pool(a.shm, fd, size);
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_surface_attach(a.surface, buffer, 0, 0);
  wl_surface_damage(a.surface, 0, 0, w, h);
  wl_surface_commit(a.surface);
  if (!a.drawn) Line("ready %d %d", w, h);
  a.drawn = true;
}

void Global(void* data, wl_registry* r, std::uint32_t name, const char* iface, std::uint32_t) {
  auto& a = *static_cast<App*>(data);
  if (!std::strcmp(iface, wl_compositor_interface.name))
    a.compositor = static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
  else if (!std::strcmp(iface, wl_shm_interface.name))
    a.shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
  else if (!std::strcmp(iface, wl_seat_interface.name) && !a.seat)
    a.seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 5));
  else if (!std::strcmp(iface, xdg_wm_base_interface.name))
    a.wm = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
}
void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

void Ping(void*, xdg_wm_base* wm, std::uint32_t serial) {
  xdg_wm_base_pong(wm, serial);
}
const xdg_wm_base_listener kWm = {Ping};

void SurfaceConfigure(void* data, xdg_surface* s, std::uint32_t serial) {
  xdg_surface_ack_configure(s, serial);
  Draw(*static_cast<App*>(data));
}
const xdg_surface_listener kSurface = {SurfaceConfigure};

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array*) {
  auto& a = *static_cast<App*>(data);
  if (w > 0 && h > 0) a.width = w, a.height = h;
}
void ToplevelClose(void*, xdg_toplevel*) {}
void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevel = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                         ToplevelCapabilities};

void Enter(void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  Line("enter %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
  // A pointer that arrives with a move (the window took the pointer after the move before) is there too.
  Line("motion %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void Leave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void Motion(void*, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  Line("motion %d %d", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void Button(void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
  Line("button %u %u", button, state);
}
void Axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void Frame(void*, wl_pointer*) {}
void AxisSource(void*, wl_pointer*, std::uint32_t) {}
void AxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void AxisValue120(void*, wl_pointer*, std::uint32_t, int32_t) {}
void AxisDiscrete(void*, wl_pointer*, std::uint32_t axis, int32_t steps) {
  Line("discrete %u %d", axis, steps);
}
const wl_pointer_listener kPointer = {Enter, Leave,      Motion,   Button,       Axis,
                                      Frame, AxisSource, AxisStop, AxisDiscrete, AxisValue120};

void Keymap(void* data, wl_keyboard*, std::uint32_t, int32_t fd, std::uint32_t size) {
  auto& a = *static_cast<App*>(data);
  char* text = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
  close(fd);
  if (text == MAP_FAILED) return;
  if (a.state) xkb_state_unref(a.state);
  if (a.keymap) xkb_keymap_unref(a.keymap);
  a.keymap = xkb_keymap_new_from_string(a.xkb, text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  a.state = a.keymap ? xkb_state_new(a.keymap) : nullptr;
  munmap(text, size);
  Line("keymap");
}
void KeyEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void KeyLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void Key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
  auto& a = *static_cast<App*>(data);
  if (!a.state || state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  char utf8[64] = {};
  xkb_state_key_get_utf8(a.state, key + 8, utf8, sizeof utf8);
  const xkb_keysym_t sym = xkb_state_key_get_one_sym(a.state, key + 8);
  char name[64] = {};
  xkb_keysym_get_name(sym, name, sizeof name);
  Line("key %s %s", name, utf8);
}
void Modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t d, std::uint32_t l, std::uint32_t k,
               std::uint32_t g) {
  auto& a = *static_cast<App*>(data);
  if (a.state) xkb_state_update_mask(a.state, d, l, k, 0, 0, g);
}
void Repeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboard = {Keymap, KeyEnter, KeyLeave, Key, Modifiers, Repeat};

// The seat has a pointer and a keyboard only once the virtual devices exist (a headless compositor has no
// others): take each when it appears.
void Capabilities(void* data, wl_seat* seat, std::uint32_t caps) {
  auto& a = *static_cast<App*>(data);
  if ((caps & WL_SEAT_CAPABILITY_POINTER) && !a.pointer) {
    a.pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(a.pointer, &kPointer, &a);
    Line("pointer");
  }
  if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !a.keyboard) {
    a.keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(a.keyboard, &kKeyboard, &a);
  }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeat = {Capabilities, SeatName};

}  // namespace

int main(int argc, char** argv) {
  App a;
  a.colour = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 16)) : 0xFF8000;
  wl_display* dpy = wl_display_connect(nullptr);
  if (!dpy) return 1;
  a.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  wl_registry_add_listener(wl_display_get_registry(dpy), &kRegistry, &a);
  wl_display_roundtrip(dpy);
  if (!a.compositor || !a.shm || !a.seat || !a.wm) return 1;
  xdg_wm_base_add_listener(a.wm, &kWm, &a);
  wl_seat_add_listener(a.seat, &kSeat, &a);
  a.surface = wl_compositor_create_surface(a.compositor);
  xdg_surface* xs = xdg_wm_base_get_xdg_surface(a.wm, a.surface);
  xdg_surface_add_listener(xs, &kSurface, &a);
  xdg_toplevel* top = xdg_surface_get_toplevel(xs);
  xdg_toplevel_add_listener(top, &kToplevel, &a);
  xdg_toplevel_set_fullscreen(top, nullptr);
  wl_surface_commit(a.surface);
  // Until stdin closes (the test ends) or the compositor goes.
  while (true) {
    wl_display_flush(dpy);
    pollfd fds[2] = {{wl_display_get_fd(dpy), POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) break;
    if (fds[1].revents) {
      char b;
      if (read(0, &b, 1) <= 0) break;
    }
    if (fds[0].revents && wl_display_dispatch(dpy) < 0) break;
  }
  return 0;
}
