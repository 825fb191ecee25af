#include "platform/linux/BackendChoice.h"

namespace fernpad {

std::string_view BackendName(BackendKind kind) {
  switch (kind) {
    case BackendKind::kX11:
      return "x11";
    case BackendKind::kPortal:
      return "portal";
    case BackendKind::kWlroots:
      return "wlroots";
  }
  return "";
}

std::optional<BackendKind> BackendFromName(std::string_view name) {
  for (BackendKind k : {BackendKind::kX11, BackendKind::kPortal, BackendKind::kWlroots})
    if (name == BackendName(k)) return k;
  return std::nullopt;
}

bool IsWaylandSession(const SessionFacts& session) {
  return !session.waylandDisplay.empty() && session.sessionType != "x11";
}

namespace {

BackendChoice Pick(BackendKind kind, std::string note = {}) {
  return {kind, std::move(note), {}};
}

BackendChoice Fail(std::string error) {
  return {std::nullopt, {}, std::move(error)};
}

bool IsGnome(const SessionFacts& s) {
  return s.desktop.find("GNOME") != std::string::npos;
}

const char* const kPortalNotBuilt =
    "this build has no desktop portal backend (RemoteDesktop and ScreenCast), which this desktop needs";
const char* const kGnomeAsks =
    "the desktop asks for permission at each start: GNOME lets no program control the mouse and keyboard "
    "or see the screen unless the user allows it";

}  // namespace

BackendChoice ChooseBackend(const SessionFacts& s, std::optional<BackendKind> forced) {
  if (forced) {
    switch (*forced) {
      case BackendKind::kX11:
        if (s.x11Display.empty()) return Fail("--backend x11 needs an X display, and DISPLAY is not set");
        return Pick(BackendKind::kX11, IsWaylandSession(s) ? "X11 through XWayland: only X11 windows "
                                                             "receive input and the snapshot may stay black"
                                                           : "");
      case BackendKind::kWlroots:
        if (s.waylandDisplay.empty())
          return Fail("--backend wlroots needs a Wayland display, and WAYLAND_DISPLAY is not set");
        if (!s.wlrootsProtocols)
          return Fail(
              "--backend wlroots: the compositor on " + s.waylandDisplay +
              " offers no virtual pointer and virtual keyboard (a wlroots compositor such as sway does)");
        return Pick(BackendKind::kWlroots);
      case BackendKind::kPortal:
        if (!s.portalBuilt) return Fail(std::string("--backend portal: ") + kPortalNotBuilt);
        return Pick(BackendKind::kPortal, IsGnome(s) ? kGnomeAsks : "");
    }
  }
  if (IsWaylandSession(s)) {
    if (s.wlrootsProtocols) return Pick(BackendKind::kWlroots);
    if (s.portalBuilt) return Pick(BackendKind::kPortal, IsGnome(s) ? kGnomeAsks : "");
    if (!s.x11Display.empty())
      return Pick(BackendKind::kX11,
                  std::string("X11 through XWayland: only X11 windows receive input and the "
                              "snapshot may stay black; ") +
                      kPortalNotBuilt);
    return Fail(
        "no backend can work in this Wayland session: the compositor offers no virtual pointer and "
        "keyboard, " +
        std::string(kPortalNotBuilt) + ", and there is no XWayland (DISPLAY is not set)");
  }
  if (!s.x11Display.empty()) return Pick(BackendKind::kX11);
  return Fail(
      "no desktop session to control: neither WAYLAND_DISPLAY nor DISPLAY is set (start the server "
      "inside the graphical session)");
}

}  // namespace fernpad
