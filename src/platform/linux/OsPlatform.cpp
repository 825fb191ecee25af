#include "platform/OsPlatform.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/linux/BackendChoice.h"
#include "platform/linux/LocaleCountry.h"
#include "platform/linux/X11Platform.h"
#ifdef FERNPAD_HAVE_WAYLAND
#include "platform/linux/wayland/WlrootsPlatform.h"
#endif
#ifdef FERNPAD_HAVE_PORTAL
#include "platform/linux/wayland/PortalPlatform.h"
#endif

namespace fernpad {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

std::unique_ptr<Platform> MakeOsPlatform() {
  return std::make_unique<X11Platform>();
}

std::unique_ptr<Platform> MakeOsPlatform(const std::string& backend, std::string& description) {
  std::optional<BackendKind> forced;
  if (!backend.empty()) {
    forced = BackendFromName(backend);
    if (!forced) throw std::runtime_error("unknown backend '" + backend + "' (x11, portal or wlroots)");
  }
  SessionFacts session{Env("XDG_SESSION_TYPE"), Env("WAYLAND_DISPLAY"), Env("DISPLAY"),
                       Env("XDG_CURRENT_DESKTOP")};
#ifdef FERNPAD_HAVE_PORTAL
  session.portalBuilt = true;
#endif
#ifdef FERNPAD_HAVE_WAYLAND
  // Asking the compositor costs one round trip; only a Wayland session, or a forced wlroots, asks.
  if (!session.waylandDisplay.empty() && (IsWaylandSession(session) || forced == BackendKind::kWlroots))
    session.wlrootsProtocols = WaylandOffersWlrootsInput(session.waylandDisplay);
#else
  if (forced == BackendKind::kWlroots)
    throw std::runtime_error(
        "--backend wlroots: this build has no Wayland backend (built without libwayland)");
#endif
  const BackendChoice choice = ChooseBackend(session, forced);
  if (!choice.kind) throw std::runtime_error(choice.error);
  std::unique_ptr<Platform> platform;
  std::string where;
  switch (*choice.kind) {
    case BackendKind::kX11:
      platform = std::make_unique<X11Platform>();
      where = "X display " + session.x11Display;
      break;
    case BackendKind::kWlroots:
#ifdef FERNPAD_HAVE_WAYLAND
      platform = std::make_unique<WlrootsPlatform>(session.waylandDisplay);
      where = "Wayland display " + session.waylandDisplay;
      break;
#endif
    case BackendKind::kPortal:
#ifdef FERNPAD_HAVE_PORTAL
      platform = std::make_unique<PortalPlatform>(session.waylandDisplay);
      where = session.desktop.empty() ? "this desktop" : "the " + session.desktop + " desktop";
      break;
#endif
      // ChooseBackend picks no backend this build lacks.
      throw std::runtime_error("the " + std::string(BackendName(*choice.kind)) +
                               " backend is not in this build");
  }
  description = "Input and screen: the " + std::string(BackendName(*choice.kind)) + " backend on " + where;
  if (!choice.note.empty()) description += " (" + choice.note + ")";
  return platform;
}

int OsCountryCode() {
  return CountryCodeFromLocale();
}

}  // namespace fernpad
