#include "platform/linux/BackendChoice.h"

#include <gtest/gtest.h>

namespace fernpad {
namespace {

constexpr auto kNone = std::nullopt;
using K = BackendKind;

TEST(BackendChoice, SessionAndForcedBackendDecide) {
  struct Case {
    const char* what;
    SessionFacts session;
    std::optional<K> forced;
    std::optional<K> expected;
    const char* inMessage;  // a word the note or the error must contain ("" for no note)
  };
  const SessionFacts x11{"x11", "", ":0", "XFCE"};
  const SessionFacts sway{"wayland", "wayland-1", ":0", "sway", true, false};
  const SessionFacts gnome{"wayland", "wayland-0", ":0", "ubuntu:GNOME", false, true};
  const SessionFacts gnomeNoPortal{"wayland", "wayland-0", ":0", "GNOME", false, false};
  const SessionFacts bareWayland{"wayland", "wayland-0", "", "weston", false, false};
  const SessionFacts x11WithStaleWayland{"x11", "wayland-0", ":0", "", true, true};
  const SessionFacts unknownType{"", "wayland-1", "", "", true, false};
  const SessionFacts nothing{"tty", "", "", ""};
  const Case cases[] = {
      {"X11 session", x11, kNone, K::kX11, ""},
      {"wlroots compositor", sway, kNone, K::kWlroots, ""},
      {"GNOME takes the portal and says it asks", gnome, kNone, K::kPortal, "permission"},
      {"no portal built: XWayland, with the limit said", gnomeNoPortal, kNone, K::kX11, "only X11 windows"},
      {"no backend at all", bareWayland, kNone, kNone, "no backend can work"},
      {"session type x11 wins over a Wayland display", x11WithStaleWayland, kNone, K::kX11, ""},
      {"no session type: the Wayland display counts", unknownType, kNone, K::kWlroots, ""},
      {"no display", nothing, kNone, kNone, "DISPLAY"},
      {"forced x11 on sway", sway, K::kX11, K::kX11, "XWayland"},
      {"forced x11 without X", bareWayland, K::kX11, kNone, "DISPLAY is not set"},
      {"forced wlroots on GNOME", gnome, K::kWlroots, kNone, "virtual pointer"},
      {"forced wlroots without Wayland", x11, K::kWlroots, kNone, "WAYLAND_DISPLAY"},
      {"forced portal not built", sway, K::kPortal, kNone, "portal"},
      {"forced portal on GNOME", gnome, K::kPortal, K::kPortal, "permission"},
  };
  for (const Case& c : cases) {
    const BackendChoice choice = ChooseBackend(c.session, c.forced);
    EXPECT_EQ(choice.kind, c.expected) << c.what;
    const std::string& message = choice.kind ? choice.note : choice.error;
    if (*c.inMessage)
      EXPECT_NE(message.find(c.inMessage), std::string::npos) << c.what << ": " << message;
    else
      EXPECT_EQ(message, "") << c.what;
  }
}

TEST(BackendChoice, NamesRoundTripAndOthersAreRefused) {
  for (K k : {K::kX11, K::kPortal, K::kWlroots}) EXPECT_EQ(BackendFromName(BackendName(k)), k);
  for (const char* bad : {"", "X11", "wayland", "wlroots "}) EXPECT_EQ(BackendFromName(bad), kNone) << bad;
}

}  // namespace
}  // namespace fernpad
