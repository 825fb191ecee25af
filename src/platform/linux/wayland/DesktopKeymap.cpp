#include "platform/linux/wayland/DesktopKeymap.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>
#include <set>

#include "platform/linux/wayland/WaylandPlatformBase.h"

namespace fernpad::wayland {

struct DesktopKeymap::Impl {
  wl_display* dpy = nullptr;
  wl_registry* registry = nullptr;
  wl_seat* seat = nullptr;
  wl_keyboard* keyboard = nullptr;
  xkb_context* xkb = nullptr;
  bool known = false;
  std::set<std::uint32_t> keysyms;  // every keysym on any key, group and level

  ~Impl() {
    if (keyboard) wl_keyboard_destroy(keyboard);
    if (seat) wl_seat_destroy(seat);
    if (registry) wl_registry_destroy(registry);
    if (dpy) wl_display_disconnect(dpy);
    if (xkb) xkb_context_unref(xkb);
  }

  void Read(const char* text) {
    xkb_keymap* keymap =
        xkb_keymap_new_from_string(xkb, text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return;
    keysyms.clear();
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key)
      for (xkb_layout_index_t group = 0; group < xkb_keymap_num_layouts_for_key(keymap, key); ++group)
        for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, group);
             ++level) {
          const xkb_keysym_t* syms = nullptr;
          const int n = xkb_keymap_key_get_syms_by_level(keymap, key, group, level, &syms);
          keysyms.insert(syms, syms + n);
        }
    known = true;
    xkb_keymap_unref(keymap);
  }

  static void OnKeymap(void* data, wl_keyboard*, std::uint32_t format, int32_t fd, std::uint32_t size) {
    auto& im = *static_cast<Impl*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
      void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
      if (text != MAP_FAILED) {
        // The text ends with a NUL within the size the compositor gave; a keymap without one is refused.
        if (static_cast<const char*>(text)[size - 1] == '\0') im.Read(static_cast<const char*>(text));
        munmap(text, size);
      }
    }
    close(fd);
  }
  static void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
  static void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
  static void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
  static void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t) {}
  static void OnRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
  static constexpr wl_keyboard_listener kKeyboard = {OnKeymap, OnEnter,     OnLeave,
                                                     OnKey,    OnModifiers, OnRepeat};

  static void OnCapabilities(void* data, wl_seat* s, std::uint32_t caps) {
    auto& im = *static_cast<Impl*>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !im.keyboard) {
      im.keyboard = wl_seat_get_keyboard(s);
      wl_keyboard_add_listener(im.keyboard, &kKeyboard, &im);
    }
  }
  static void OnName(void*, wl_seat*, const char*) {}
  static constexpr wl_seat_listener kSeat = {OnCapabilities, OnName};

  static void OnGlobal(void* data, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
    auto& im = *static_cast<Impl*>(data);
    if (!std::strcmp(interface, wl_seat_interface.name) && !im.seat) {
      im.seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
      wl_seat_add_listener(im.seat, &kSeat, &im);
    }
  }
  static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
  static constexpr wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};
};

DesktopKeymap::DesktopKeymap(const std::string& displayName) : impl_(std::make_unique<Impl>()) {
  auto& im = *impl_;
  im.dpy = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
  im.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (!im.dpy || !im.xkb) return;
  im.registry = wl_display_get_registry(im.dpy);
  wl_registry_add_listener(im.registry, &Impl::kRegistry, &im);
  // The seat, its capabilities, then the keyboard's keymap.
  for (int i = 0; i < 3; ++i) wl_display_roundtrip(im.dpy);
}

DesktopKeymap::~DesktopKeymap() = default;

bool DesktopKeymap::CanType(std::uint32_t keysym) {
  auto& im = *impl_;
  if (!im.dpy) return true;
  const bool hadKeyboard = im.keyboard != nullptr;
  Pump(im.dpy);
  if (im.keyboard && !hadKeyboard) wl_display_roundtrip(im.dpy);  // a keyboard just came: its keymap follows
  return !im.known || im.keysyms.contains(keysym);
}

}  // namespace fernpad::wayland
