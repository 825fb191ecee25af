#pragma once

#include <optional>
#include <string>
#include <string_view>

// Which Linux backend injects input and reads the screen, decided from the session the program starts in.
// Pure: the caller reads the environment and asks the compositor; nothing here touches the OS.
namespace fernpad {

enum class BackendKind {
  kX11,      // XTest and XShm on an X server (on Wayland through XWayland: X11 windows only)
  kPortal,   // the desktop portal's RemoteDesktop and ScreenCast (GNOME, KDE)
  kWlroots,  // the wlroots virtual pointer, virtual keyboard and screencopy protocols (sway and kin)
};

// The name --backend takes and the log shows: "x11", "portal", "wlroots".
std::string_view BackendName(BackendKind kind);
// The kind of a --backend name; nothing for any other text.
std::optional<BackendKind> BackendFromName(std::string_view name);

// What the session offers, as read at start.
struct SessionFacts {
  std::string sessionType;        // $XDG_SESSION_TYPE ("x11", "wayland", "tty", or empty)
  std::string waylandDisplay;     // $WAYLAND_DISPLAY
  std::string x11Display;         // $DISPLAY
  std::string desktop;            // $XDG_CURRENT_DESKTOP ("GNOME", "KDE", "sway", ...)
  bool wlrootsProtocols = false;  // the compositor offers the virtual pointer and keyboard protocols
  bool portalBuilt = false;       // this build has the portal backend
};

// The decision: a backend and the reason shown to the user, or no backend and the error that says why.
struct BackendChoice {
  std::optional<BackendKind> kind;
  std::string note;   // with a kind: what the user should know about it (may be empty)
  std::string error;  // without a kind: why no backend can work here
};

// Chooses the backend: the forced one if it can be tried at all, else the best the session offers. On a
// Wayland session the wlroots protocols come first, then the portal, then X11 through XWayland (which
// reaches X11 windows only, so it says so). Never picks a backend that cannot start: no display for it is
// an error.
BackendChoice ChooseBackend(const SessionFacts& session, std::optional<BackendKind> forced);

// Whether the session is a Wayland one: a Wayland display and a session type that is not "x11".
bool IsWaylandSession(const SessionFacts& session);

}  // namespace fernpad
