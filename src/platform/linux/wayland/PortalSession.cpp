#include "platform/linux/wayland/PortalSession.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <stdexcept>
#include <string_view>

namespace fernpad::portal {

namespace {

constexpr const char* kDest = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";

// The answer a portal request sends back through its Request object.
struct Response {
  bool arrived = false;
  bool malformed = false;
  std::uint32_t code = 2;  // 0 granted, 1 refused by the user, 2 failed
  std::string sessionHandle;
  std::uint32_t devices = 0;
  std::vector<Stream> streams;
};

// An extra option of a request: a string, a number or a flag.
struct Option {
  const char* key;
  char type;  // 's', 'u' or 'b'
  const char* text = nullptr;
  std::uint32_t number = 0;
};

struct Message {
  sd_bus_message* m = nullptr;
  ~Message() { sd_bus_message_unref(m); }
};

struct Error {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  ~Error() { sd_bus_error_free(&e); }
  std::string Text() const { return e.message ? e.message : e.name ? e.name : "unknown error"; }
};

int ReadPair(sd_bus_message* m, int& a, int& b) {
  return sd_bus_message_read(m, "v", "(ii)", &a, &b);
}

// streams: a(ua{sv}) inside the variant.
int ReadStreams(sd_bus_message* m, std::vector<Stream>& out) {
  int r = sd_bus_message_enter_container(m, 'v', "a(ua{sv})");
  if (r < 0) return r;
  if ((r = sd_bus_message_enter_container(m, 'a', "(ua{sv})")) < 0) return r;
  while ((r = sd_bus_message_enter_container(m, 'r', "ua{sv}")) > 0) {
    Stream s;
    if ((r = sd_bus_message_read(m, "u", &s.node)) < 0) return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
      const char* key = nullptr;
      if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
      const std::string_view name = key;
      if (name == "size")
        r = ReadPair(m, s.width, s.height);
      else if (name == "position")
        r = ReadPair(m, s.x, s.y);
      else
        r = sd_bus_message_skip(m, "v");
      if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0 || (r = sd_bus_message_exit_container(m)) < 0)
      return r;
    out.push_back(s);
  }
  if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
  return sd_bus_message_exit_container(m);
}

int ReadResults(sd_bus_message* m, Response& out) {
  int r = sd_bus_message_read(m, "u", &out.code);
  if (r < 0 || (r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
  while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
    const char* key = nullptr;
    if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
    const std::string_view name = key;
    const char* contents = nullptr;
    if ((r = sd_bus_message_peek_type(m, nullptr, &contents)) < 0) return r;
    if (name == "session_handle" && contents &&
        (contents == std::string_view("s") || contents == std::string_view("o"))) {
      const char* text = nullptr;
      r = sd_bus_message_read(m, "v", contents, &text);
      if (r >= 0) out.sessionHandle = text;
    } else if (name == "devices" && contents && contents == std::string_view("u")) {
      r = sd_bus_message_read(m, "v", "u", &out.devices);
    } else if (name == "streams" && contents && contents == std::string_view("a(ua{sv})")) {
      r = ReadStreams(m, out.streams);
    } else {
      r = sd_bus_message_skip(m, "v");
    }
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(m);
}

int OnClosed(sd_bus_message*, void* userdata, sd_bus_error*) {
  *static_cast<bool*>(userdata) = true;
  return 0;
}

int OnResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto& response = *static_cast<Response*>(userdata);
  response.arrived = true;
  response.malformed = ReadResults(m, response) < 0;
  return 0;
}

}  // namespace

struct PortalSession::Bus {
  sd_bus* bus = nullptr;
  std::string sender;  // the unique name without ':' and with '_' for '.', as request paths spell it
  unsigned requests = 0;
  ~Bus() { sd_bus_flush_close_unref(bus); }

  // Calls a portal method that answers through a Request object, and waits for the answer.
  Response Request(const char* interface, const char* method, const std::string& session,
                   const std::vector<Option>& options, std::chrono::milliseconds timeout) {
    const std::string token = "fernpad" + std::to_string(++requests);
    const std::string path = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    Response response;
    // Subscribed before the call, so an answer that comes at once is not missed.
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_match_signal(bus, &slot, nullptr, path.c_str(), "org.freedesktop.portal.Request",
                                "Response", OnResponse, &response);
    if (r < 0) throw std::runtime_error("desktop portal: cannot listen on the session bus");
    struct SlotGuard {
      sd_bus_slot* s;
      ~SlotGuard() { sd_bus_slot_unref(s); }
    } slotGuard{slot};
    Message call;
    r = sd_bus_message_new_method_call(bus, &call.m, kDest, kPath, interface, method);
    if (r >= 0 && !session.empty()) r = sd_bus_message_append(call.m, "o", session.c_str());
    if (r >= 0 && std::string_view(method) == "Start")
      r = sd_bus_message_append(call.m, "s", "");  // no parent
    if (r >= 0) r = sd_bus_message_open_container(call.m, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(call.m, "{sv}", "handle_token", "s", token.c_str());
    for (const Option& o : options) {
      if (r < 0) break;
      if (o.type == 's')
        r = sd_bus_message_append(call.m, "{sv}", o.key, "s", o.text);
      else if (o.type == 'b')
        r = sd_bus_message_append(call.m, "{sv}", o.key, "b", static_cast<int>(o.number));
      else
        r = sd_bus_message_append(call.m, "{sv}", o.key, "u", o.number);
    }
    if (r >= 0) r = sd_bus_message_close_container(call.m);
    if (r < 0) throw std::runtime_error("desktop portal: cannot build the " + std::string(method) + " call");
    Error error;
    Message reply;
    if (sd_bus_call(bus, call.m, 0, &error.e, &reply.m) < 0) {
      if (sd_bus_error_has_name(&error.e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
          sd_bus_error_has_name(&error.e, SD_BUS_ERROR_UNKNOWN_INTERFACE) ||
          sd_bus_error_has_name(&error.e, SD_BUS_ERROR_UNKNOWN_METHOD))
        throw std::runtime_error(
            "the desktop offers no remote-desktop portal (xdg-desktop-portal with its GNOME or KDE part): " +
            error.Text());
      throw std::runtime_error("desktop portal: " + std::string(method) + " failed: " + error.Text());
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!response.arrived) {
      r = sd_bus_process(bus, nullptr);
      if (r < 0) throw std::runtime_error("desktop portal: the session bus connection broke");
      if (r > 0) continue;
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      sd_bus_wait(bus, static_cast<std::uint64_t>(left.count()));
    }
    if (response.malformed) response = {true, true, 2, {}, 0, {}};
    return response;
  }
};

PortalSession::PortalSession(std::chrono::milliseconds answerTimeout) : bus_(std::make_unique<Bus>()) {
  if (sd_bus_open_user(&bus_->bus) < 0)
    throw std::runtime_error("desktop portal: cannot reach the session bus (DBUS_SESSION_BUS_ADDRESS)");
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus_->bus, &unique) < 0 || !unique || unique[0] != ':')
    throw std::runtime_error("desktop portal: the session bus gave no name");
  for (const char* c = unique + 1; *c; ++c) bus_->sender += *c == '.' ? '_' : *c;
  // The first call may start the portal and its desktop part (the bus starts them when first asked), which
  // takes seconds on a busy machine.
  sd_bus_set_method_call_timeout(bus_->bus, 30'000'000);

  constexpr std::chrono::seconds kQuick(10);
  Response created =
      bus_->Request(kRemoteDesktop, "CreateSession", "", {{"session_handle_token", 's', "fernpad"}}, kQuick);
  if (!created.arrived || created.code != 0 || created.sessionHandle.empty())
    throw std::runtime_error("desktop portal: the desktop did not create a remote-desktop session");
  session_ = created.sessionHandle;
  // The desktop says so when the user ends the sharing (the slot lives as long as the connection).
  sd_bus_match_signal(bus_->bus, nullptr, nullptr, session_.c_str(), "org.freedesktop.portal.Session",
                      "Closed", OnClosed, &ended_);
  const Response devices = bus_->Request(kRemoteDesktop, "SelectDevices", session_,
                                         {{"types", 'u', nullptr, kKeyboard | kPointer}}, kQuick);
  if (!devices.arrived || devices.code != 0)
    throw std::runtime_error("desktop portal: the desktop offers no keyboard and pointer to control");
  // The snapshot is of the screen without the pointer where the desktop can leave it out.
  std::uint32_t cursorModes = 0;
  {
    Error error;
    sd_bus_get_property_trivial(bus_->bus, kDest, kPath, kScreenCast, "AvailableCursorModes", &error.e, 'u',
                                &cursorModes);
  }
  std::vector<Option> sources = {{"types", 'u', nullptr, 1}, {"multiple", 'b', nullptr, 0}};
  if (cursorModes & 1) sources.push_back({"cursor_mode", 'u', nullptr, 1});
  const Response selected = bus_->Request(kScreenCast, "SelectSources", session_, sources, kQuick);
  if (!selected.arrived || selected.code != 0)
    throw std::runtime_error("desktop portal: the desktop offers no monitor to share");
  const Response started = bus_->Request(kRemoteDesktop, "Start", session_, {}, answerTimeout);
  if (!started.arrived)
    throw std::runtime_error("desktop portal: nobody answered the desktop's permission dialog within " +
                             std::to_string(answerTimeout.count() / 1000) + " s");
  if (started.code == 1)
    throw std::runtime_error("desktop portal: permission was refused in the desktop's dialog");
  if (started.code != 0 || started.streams.empty())
    throw std::runtime_error("desktop portal: the desktop could not start the remote-desktop session");
  devices_ = started.devices;
  monitor_ = started.streams.front();
  sd_bus_set_method_call_timeout(bus_->bus, 5'000'000);  // from here on every call is quick
}

PortalSession::~PortalSession() {
  if (!session_.empty() && bus_->bus && !ended_) {
    Error error;
    sd_bus_call_method(bus_->bus, kDest, session_.c_str(), "org.freedesktop.portal.Session", "Close",
                       &error.e, nullptr, "");
  }
}

int PortalSession::OpenPipeWireRemote() {
  Error error;
  Message reply;
  if (sd_bus_call_method(bus_->bus, kDest, kPath, kScreenCast, "OpenPipeWireRemote", &error.e, &reply.m,
                         "oa{sv}", session_.c_str(), 0u) < 0) {
    lastError_ = error.Text();
    return -1;
  }
  int fd = -1;
  if (sd_bus_message_read(reply.m, "h", &fd) < 0) return -1;
  return fcntl(fd, F_DUPFD_CLOEXEC, 3);  // the message owns the descriptor it carries
}

bool PortalSession::Ended() {
  // Signals wait in the connection's queue until handled here.
  while (sd_bus_process(bus_->bus, nullptr) > 0) {
  }
  return ended_;
}

template <class... Args>
bool PortalSession::Notify(const char* member, const char* types, Args... args) {
  if (Ended()) {
    lastError_ = "the sharing was ended in the desktop";
    return false;
  }
  Error error;
  if (sd_bus_call_method(bus_->bus, kDest, kPath, kRemoteDesktop, member, &error.e, nullptr, types,
                         session_.c_str(), 0u, args...) >= 0)
    return true;
  lastError_ = error.Text();
  return false;
}

bool PortalSession::PointerMotion(double dx, double dy) {
  return Notify("NotifyPointerMotion", "oa{sv}dd", dx, dy);
}

bool PortalSession::PointerMotionAbsolute(double x, double y) {
  return Notify("NotifyPointerMotionAbsolute", "oa{sv}udd", monitor_.node, x, y);
}

bool PortalSession::PointerButton(int button, bool pressed) {
  return Notify("NotifyPointerButton", "oa{sv}iu", button, pressed ? 1u : 0u);
}

bool PortalSession::PointerAxisDiscrete(std::uint32_t axis, int steps) {
  return Notify("NotifyPointerAxisDiscrete", "oa{sv}ui", axis, steps);
}

bool PortalSession::KeyboardKeycode(int evdevCode, bool pressed) {
  return Notify("NotifyKeyboardKeycode", "oa{sv}iu", evdevCode, pressed ? 1u : 0u);
}

bool PortalSession::KeyboardKeysym(std::uint32_t keysym, bool pressed) {
  return Notify("NotifyKeyboardKeysym", "oa{sv}iu", static_cast<int>(keysym), pressed ? 1u : 0u);
}

}  // namespace fernpad::portal
