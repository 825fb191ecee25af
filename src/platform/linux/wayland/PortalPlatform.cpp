#include "platform/linux/wayland/PortalPlatform.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/Log.h"
#include "platform/linux/X11KeyTables.h"
#include "platform/linux/wayland/DesktopKeymap.h"
#include "platform/linux/wayland/PipeWireFrames.h"
#include "platform/linux/wayland/PortalSession.h"
#include "platform/linux/wayland/WaylandKeymap.h"

namespace fernpad {

namespace {

// The evdev code of the keys Windows names by their place (XKB key names of a pc105 keyboard).
constexpr std::pair<std::string_view, int> kPositionCodes[] = {
    {"LFSH", 42},  {"RTSH", 54},  {"LCTL", 29}, {"RCTL", 97}, {"LALT", 56}, {"RALT", 100}, {"LWIN", 125},
    {"RWIN", 126}, {"COMP", 127}, {"AC10", 39}, {"AE12", 13}, {"AB08", 51}, {"AE11", 12},  {"AB09", 52},
    {"AB10", 53},  {"TLDE", 41},  {"AD11", 26}, {"BKSL", 43}, {"AD12", 27}, {"AC11", 40},  {"LSGT", 86},
};
constexpr int kLeftShiftCode = 42;

// How a key goes to the portal: an evdev code, or a keysym the desktop looks up on its layout.
struct PortalKey {
  bool keysym = false;
  std::uint32_t value = 0;
  auto operator<=>(const PortalKey&) const = default;
};

std::optional<PortalKey> KeyOfVk(std::uint16_t vk) {
  const x11keys::VkMeaning meaning = x11keys::MeaningOfVk(vk);
  switch (meaning.kind) {
    case x11keys::VkKind::kNone:
      return std::nullopt;
    case x11keys::VkKind::kPosition:
      for (const auto& [name, code] : kPositionCodes)
        if (name == meaning.position) return PortalKey{false, static_cast<std::uint32_t>(code)};
      return PortalKey{true, static_cast<std::uint32_t>(meaning.keysym)};
    case x11keys::VkKind::kCharacter:
    case x11keys::VkKind::kKeysym:
      return PortalKey{true, static_cast<std::uint32_t>(meaning.keysym)};
  }
  return std::nullopt;
}

}  // namespace

struct PortalPlatform::Impl {
  std::mutex mutex;  // one portal call at a time
  std::unique_ptr<portal::PortalSession> session;
  std::unique_ptr<portal::PipeWireFrames> frames;
  std::unique_ptr<wayland::DesktopKeymap> layout;
  Point pos;  // where this backend put the pointer
  int queuedDx = 0, queuedDy = 0;
  std::int64_t wheelRemainder = 0;
  std::set<PortalKey> held;
  std::optional<std::uint8_t> typing;
  bool refusing = false;  // the last event was refused (said once until one goes through again)

  Size MonitorSize() const {
    const auto& m = session->Monitor();
    return {std::max(m.width, 1), std::max(m.height, 1)};
  }

  Point Clamp(Point p) const {
    const Size s = MonitorSize();
    return {std::clamp(p.x, 0, s.width - 1), std::clamp(p.y, 0, s.height - 1)};
  }

  void Check(bool ok) {
    if (ok) {
      refusing = false;
    } else if (!refusing) {
      refusing = true;
      log::Write("Desktop portal: the desktop refused an input event: " + session->LastError());
    }
  }

  // Relative moves held back while the caller holds input go out before anything else is injected.
  void SendQueuedMoves() {
    if (queuedDx == 0 && queuedDy == 0) return;
    Check(session->PointerMotion(queuedDx, queuedDy));
    queuedDx = queuedDy = 0;
  }

  void MoveAbsolute(Point p) {
    SendQueuedMoves();
    pos = Clamp(p);
    Check(session->PointerMotionAbsolute(pos.x, pos.y));
  }

  void Key(PortalKey key, bool down) {
    if (down == held.contains(key)) return;  // a second press, or a release of a key not held
    if (down)
      held.insert(key);
    else
      held.erase(key);
    SendQueuedMoves();
    Check(key.keysym ? session->KeyboardKeysym(key.value, down)
                     : session->KeyboardKeycode(static_cast<int>(key.value), down));
  }

  ~Impl() {
    if (!session) return;
    for (const PortalKey& key : held)
      key.keysym ? session->KeyboardKeysym(key.value, false)
                 : session->KeyboardKeycode(static_cast<int>(key.value), false);
  }
};

PortalPlatform::PortalPlatform(const std::string& waylandDisplay, std::chrono::milliseconds answerTimeout)
    : impl_(std::make_unique<Impl>()) {
  auto& im = *impl_;
  log::Write(
      "Desktop portal: asking the desktop for remote control of the mouse and keyboard and a view of the "
      "screen. "
      "The desktop shows its permission dialog now and at every start of the server (GNOME cannot remember a "
      "grant of remote control); allow it there, with \"Allow remote interaction\" switched on.");
  im.session = std::make_unique<portal::PortalSession>(answerTimeout);
  const std::uint32_t devices = im.session->Devices();
  if ((devices & portal::PortalSession::kPointer) == 0 || (devices & portal::PortalSession::kKeyboard) == 0)
    log::Write(
        "Desktop portal: the desktop shares the screen but allowed no control of the mouse or keyboard; "
        "switch on "
        "\"Allow remote interaction\" in its dialog at the next start");
  const int fd = im.session->OpenPipeWireRemote();
  if (fd < 0)
    throw std::runtime_error("desktop portal: the desktop gave no access to the screen's frames: " +
                             im.session->LastError());
  im.frames = std::make_unique<portal::PipeWireFrames>(fd, im.session->Monitor().node);
  im.layout = std::make_unique<wayland::DesktopKeymap>(waylandDisplay);
  // The first frame takes a moment (the stream is negotiated first): the server answers snapshots once it
  // is there. Without one in time, snapshots wait for it themselves.
  if (!im.frames->WaitForFirst(std::chrono::seconds(5)))
    log::Write("Desktop portal: the desktop has sent no picture of the screen yet");
  // A new session loses its first pointer event and its first key: spend them on a move by nothing and a
  // Shift tap.
  im.session->PointerMotion(0, 0);
  im.session->KeyboardKeycode(kLeftShiftCode, true);
  im.session->KeyboardKeycode(kLeftShiftCode, false);
  // The logic reads the position this backend knows: make it true from the start.
  const Size s = im.MonitorSize();
  im.MoveAbsolute({s.width / 2, s.height / 2});
}

PortalPlatform::~PortalPlatform() = default;

bool PortalPlatform::GetCursorPos(Point& p) {
  std::lock_guard lock(impl_->mutex);
  p = impl_->pos;
  return true;
}

bool PortalPlatform::SetCursorPos(Point p) {
  std::lock_guard lock(impl_->mutex);
  impl_->MoveAbsolute(p);
  log::Verbose("inject: cursor ", impl_->pos.x, ",", impl_->pos.y);
  return !impl_->refusing;
}

bool PortalPlatform::MoveCursorBy(int dx, int dy) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  const Point to = im.Clamp({AddClamped(im.pos.x, dx), AddClamped(im.pos.y, dy)});
  const int mx = to.x - im.pos.x, my = to.y - im.pos.y;
  im.pos = to;
  if (mx == 0 && my == 0) return !im.refusing;
  im.queuedDx += mx;
  im.queuedDy += my;
  if (!HoldingInput()) im.SendQueuedMoves();
  log::Verbose("inject: cursor by ", mx, ",", my);
  return !im.refusing;
}

void PortalPlatform::FlushInput() {
  std::lock_guard lock(impl_->mutex);
  impl_->SendQueuedMoves();
}

void PortalPlatform::SendMouseInput(std::uint32_t flags, std::int32_t mouseData) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  im.SendQueuedMoves();
  for (const ButtonChange& b : ButtonChanges(flags))
    im.Check(im.session->PointerButton(static_cast<int>(b.code), b.press));
  if (flags & mouse::kWheel) {
    const int steps = wayland::WheelSteps(im.wheelRemainder, mouseData, kMaxWheelClicks);
    if (steps != 0) im.Check(im.session->PointerAxisDiscrete(0, steps));
  }
  log::Verbose("inject: mouse flags 0x", std::hex, flags, std::dec, " data ", mouseData);
}

void PortalPlatform::SendKeyInput(std::uint16_t virtualKey, bool keyUp) {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  log::Verbose("inject: key 0x", std::hex, virtualKey, std::dec, keyUp ? " up" : " down");
  if (im.typing) return;  // the character is typed whole at its end, from its own keysym
  if (const auto key = KeyOfVk(virtualKey)) im.Key(*key, !keyUp);
}

void PortalPlatform::BeginTypedCharacter(std::uint8_t c) {
  std::lock_guard lock(impl_->mutex);
  impl_->typing = c;
}

void PortalPlatform::EndTypedCharacter() {
  std::lock_guard lock(impl_->mutex);
  auto& im = *impl_;
  if (!im.typing) return;
  const std::uint8_t c = *im.typing;
  im.typing.reset();
  const std::vector<x11keys::Sym> syms = KeysymsToType(c, "Desktop portal");
  if (syms.empty()) return;
  // The desktop finds the key and the Shift or AltGr it needs on its own layout, and refuses a keysym the
  // layout lacks: such a character is not typed at all (never as another).
  for (const x11keys::Sym sym : syms)
    if (im.layout->CanType(static_cast<std::uint32_t>(sym))) {
      const PortalKey key{true, static_cast<std::uint32_t>(sym)};
      im.Key(key, true);
      im.Key(key, false);
      return;
    }
  char line[100];
  std::snprintf(
      line, sizeof line,
      "Desktop portal: the desktop's keyboard layout has no key for the character 0x%02X; not typed", c);
  log::Write(line);
}

Size PortalPlatform::PrimaryScreenSize() {
  std::lock_guard lock(impl_->mutex);
  return impl_->MonitorSize();
}

void PortalPlatform::CaptureScreen(Bitmap24& out) {
  // The frames come on their own thread: no portal call, so the input lock is not needed.
  if (!impl_->frames->Latest(out, std::chrono::seconds(5)))
    throw std::runtime_error("the desktop sent no picture of the screen");
}

}  // namespace fernpad
