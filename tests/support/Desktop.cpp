#include "Desktop.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fernpad::test {

DisplayProgram::DisplayProgram(const std::string& display, std::vector<std::string> argv,
                               std::vector<std::string> env) {
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.emplace_back(*e);
  env.push_back("DISPLAY=" + display);
  std::vector<char*> args, envp;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + " (is it installed?)");
  }
}

void DisplayProgram::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

IceWm::IceWm(const std::string& display, bool withTray) {
  char folderTemplate[] = "/tmp/fernpad-icewm-XXXXXX";
  if (!mkdtemp(folderTemplate)) throw std::runtime_error("mkdtemp");
  folder_ = folderTemplate;
  // A window becomes active at its program's request only. Focused by icewm as soon as it is mapped, a window
  // looked active before the program's own request had arrived; a test that minimised it in between saw the
  // late request restore it.
  std::ofstream(folder_ + "/preferences") << "TaskBarEnableSystemTray=" << (withTray ? 1 : 0) << "\n"
                                          << "FocusOnMap=0\n";
  program_ = std::make_unique<DisplayProgram>(display, std::vector<std::string>{"icewm"},
                                              std::vector<std::string>{"ICEWM_PRIVCFG=" + folder_});
  DesktopView view(display);
  const Atom check = XInternAtom(view.XDisplay(), "_NET_SUPPORTING_WM_CHECK", False);
  const bool up = WaitUntil([&] {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(view.XDisplay(), DefaultRootWindow(view.XDisplay()), check, 0, 1, False, XA_WINDOW,
                       &type, &format, &count, &after, &data);
    if (data) XFree(data);
    return count == 1 && (!withTray || view.TrayPresent());
  });
  if (!up) throw std::runtime_error("icewm did not come up");
}

IceWm::~IceWm() {
  program_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

DesktopView::DesktopView(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {
  if (!dpy_) throw std::runtime_error("cannot open display " + display);
}

DesktopView::~DesktopView() {
  XCloseDisplay(dpy_);
}

namespace {

// Windows vanish while they are looked at; their errors are expected.
int IgnoreErrors(::Display*, XErrorEvent*) {
  return 0;
}

std::vector<Window> Children(::Display* dpy, Window w, Window* parent = nullptr) {
  Window root = 0, up = 0, *kids = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (XQueryTree(dpy, w, &root, &up, &kids, &count)) {
    out.assign(kids, kids + count);
    if (kids) XFree(kids);
  }
  if (parent) *parent = up;
  return out;
}

bool Matches(::Display* dpy, Window w, const std::string& name, const std::string& resourceName) {
  XClassHint hint{};
  if (!XGetClassHint(dpy, w, &hint)) return false;
  const bool classOk = hint.res_name && resourceName == hint.res_name;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  if (!classOk) return false;
  char* title = nullptr;
  const bool nameOk = XFetchName(dpy, w, &title) && title && name == title;
  if (title) XFree(title);
  return nameOk;
}

void Walk(::Display* dpy, Window w, const std::function<void(Window)>& visit) {
  visit(w);
  for (Window child : Children(dpy, w)) Walk(dpy, child, visit);
}

}  // namespace

Window DesktopView::Find(const std::string& name, const std::string& resourceName) {
  XSetErrorHandler(IgnoreErrors);
  Window found = 0;
  Walk(dpy_, DefaultRootWindow(dpy_), [&](Window w) {
    if (!found && Matches(dpy_, w, name, resourceName)) found = w;
  });
  return found;
}

Window DesktopView::DockedIcon(const std::string& resourceName, const std::string& mainWindowName) {
  XSetErrorHandler(IgnoreErrors);
  const Window root = DefaultRootWindow(dpy_);
  Window found = 0;
  Walk(dpy_, root, [&](Window w) {
    XClassHint hint{};
    if (found || w == root || !XGetClassHint(dpy_, w, &hint)) return;
    const bool ours = hint.res_name && resourceName == hint.res_name;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    Window parent = 0;
    Children(dpy_, w, &parent);
    char* title = nullptr;
    const bool isMain = XFetchName(dpy_, w, &title) && title && mainWindowName == title;
    if (title) XFree(title);
    if (ours && !isMain && parent != root && Viewable(w)) found = w;
  });
  return found;
}

bool DesktopView::Viewable(Window w) {
  XSetErrorHandler(IgnoreErrors);
  XWindowAttributes a{};
  return XGetWindowAttributes(dpy_, w, &a) && a.map_state == IsViewable;
}

long DesktopView::WmState(Window w) {
  const Atom wmState = XInternAtom(dpy_, "WM_STATE", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  long state = 0;
  if (XGetWindowProperty(dpy_, w, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
          Success &&
      data && format == 32 && count >= 1)
    state = reinterpret_cast<long*>(data)[0];
  if (data) XFree(data);
  return state;
}

Window DesktopView::ActiveWindow() {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window active = 0;
  if (XGetWindowProperty(dpy_, DefaultRootWindow(dpy_), XInternAtom(dpy_, "_NET_ACTIVE_WINDOW", False), 0, 1,
                         False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
      data && format == 32 && count == 1)
    active = static_cast<Window>(reinterpret_cast<long*>(data)[0]);
  if (data) XFree(data);
  return active;
}

Window DesktopView::Frame(Window w) {
  XSetErrorHandler(IgnoreErrors);
  const Window root = DefaultRootWindow(dpy_);
  for (Window parent = 0;; w = parent) {
    Children(dpy_, w, &parent);
    if (parent == root || parent == 0) return w;
  }
}

DesktopView::Box DesktopView::Geometry(Window w) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy_, w, &a)) return {};
  Window child = 0;
  Box box{0, 0, a.width, a.height};
  XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), 0, 0, &box.x, &box.y, &child);
  box.x -= a.border_width;
  box.y -= a.border_width;
  return box;
}

bool DesktopView::TrayPresent() {
  return XGetSelectionOwner(dpy_, XInternAtom(dpy_, "_NET_SYSTEM_TRAY_S0", False)) != None;
}

bool DesktopView::Ping(Window w, std::chrono::milliseconds timeout) {
  const Window root = DefaultRootWindow(dpy_);
  const Atom protocols = XInternAtom(dpy_, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(dpy_, "_NET_WM_PING", False);
  const long token = ++pings_;  // in the timestamp's place: the answer carries it back unchanged
  // The answer goes to the root window, to those who listen there for structure or substructure changes.
  XSelectInput(dpy_, root, StructureNotifyMask | SubstructureNotifyMask);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = w;
  request.xclient.message_type = protocols;
  request.xclient.format = 32;
  request.xclient.data.l[0] = static_cast<long>(ping);
  request.xclient.data.l[1] = token;
  request.xclient.data.l[2] = static_cast<long>(w);
  XSendEvent(dpy_, w, False, NoEventMask, &request);
  XFlush(dpy_);
  const bool answered = WaitUntil(
      [&] {
        XEvent e;
        while (XCheckTypedWindowEvent(dpy_, root, ClientMessage, &e))
          if (e.xclient.message_type == protocols && e.xclient.data.l[0] == static_cast<long>(ping) &&
              e.xclient.data.l[1] == token && e.xclient.data.l[2] == static_cast<long>(w))
            return true;
        return false;
      },
      timeout);
  XSelectInput(dpy_, root, NoEventMask);
  XSync(dpy_, True);  // drops what the selection brought in
  return answered;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

}  // namespace fernpad::test
