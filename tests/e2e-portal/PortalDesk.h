#pragma once

// A private headless desktop (portal-desk.sh: GNOME or KDE) and the helper that answers GNOME's portal
// permission dialog, for the tests of the portal backend.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "WaylandDesk.h"

namespace fernpad::test {

enum class Desktop { kGnome, kKde };

// Whether the desktop, its portals and (GNOME) the accessibility bindings the dialog helper uses are
// installed.
inline bool DesktopInstalled(Desktop desktop) {
  const char* check =
      desktop == Desktop::kGnome
          ? "command -v mutter && command -v wireplumber && test -x /usr/libexec/xdg-desktop-portal-gnome && "
            "/usr/bin/python3 -c 'import pyatspi'"
          : "command -v kwin_wayland && command -v wireplumber && "
            "test -x /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde && "
            "test -e /usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so";
  return std::system(("(" + std::string(check) + ") >/dev/null 2>&1").c_str()) == 0;
}

class PortalDesk {
 public:
  explicit PortalDesk(Desktop desktop) : desktop_(desktop) {
    char dir[] = "/tmp/fernpad-desk-XXXXXX";
    if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp");
    dir_ = dir;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    process_ = std::make_unique<Child>(
        std::vector<std::string>{FERNPAD_PORTAL_DESK, dir_, desktop == Desktop::kGnome ? "gnome" : "kde"},
        Environment(), in[0], out[1], devNull);
    close(devNull);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (line.find('\n') == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out[0], POLLIN, 0};
      char b[512];
      ssize_t n = 0;
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
          (n = read(out[0], b, sizeof b)) <= 0)
        break;
      line.append(b, static_cast<std::size_t>(n));
    }
    close(out[0]);
    std::istringstream words(line);
    std::string ready;
    words >> ready >> bus_ >> socket_;
    if (ready != "ready" || socket_.empty()) throw std::runtime_error("the desktop did not start: " + line);
  }
  ~PortalDesk() {
    close(stdin_);  // the desktop ends what it started
    process_.reset();
    // The desktop's programs may still be removing their files as they end.
    std::error_code error;
    for (int i = 0; i < 20 && (std::filesystem::remove_all(dir_, error), error); ++i) usleep(50'000);
  }
  const std::string& Socket() const { return socket_; }
  // What a program needs to reach this desktop, its bus and its portals.
  std::vector<std::string> Env() const {
    return {"DBUS_SESSION_BUS_ADDRESS=" + bus_, "XDG_RUNTIME_DIR=" + dir_ + "/run",
            "WAYLAND_DISPLAY=" + socket_,
            "XDG_CURRENT_DESKTOP=" + std::string(desktop_ == Desktop::kGnome ? "GNOME" : "KDE"),
            "XDG_SESSION_TYPE=wayland"};
  }

 private:
  static std::vector<std::string> Environment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
  }
  Desktop desktop_;
  std::string dir_, bus_, socket_;
  std::unique_ptr<Child> process_;
  int stdin_ = -1;
};

// Answers the desktop's permission dialog once it appears: "Share", with "Allow remote interaction" switched
// on, or left off as the dialog shows it.
class DialogApprover {
 public:
  explicit DialogApprover(const PortalDesk& desk, bool allowInteraction = true) {
    std::vector<std::string> args = {"/usr/bin/python3", FERNPAD_APPROVE_DIALOG, "60"};
    if (!allowInteraction) args.push_back("--share-only");
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    process_ = std::make_unique<Child>(args, desk.Env(), -1, devNull, devNull);
    close(devNull);
  }

 private:
  std::unique_ptr<Child> process_;
};

}  // namespace fernpad::test
