#pragma once

#include <sys/types.h>
#include <ostream>
#include <string>

namespace fernpad::test {

// Starts a private Xvfb server for one test (or suite) and ends it again. The display number is picked
// free; -noreset keeps the pointer where it is when the last client disconnects.
class Xvfb {
 public:
  // screen: WIDTHxHEIGHTxDEPTH. Throws std::runtime_error when Xvfb does not come up within 10 s.
  explicit Xvfb(const std::string& screen = "1920x1080x24", const std::string& extraArgs = "");
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  const std::string& Display() const { return display_; }  // ":N"
  pid_t Pid() const { return pid_; }                       // e.g. to read its CPU time from /proc

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Where the pointer is, as another X client (xdotool) sees it; (-1, -1) when it cannot be read.
struct PointerLocation {
  int x = -1;
  int y = -1;
  friend bool operator==(const PointerLocation&, const PointerLocation&) = default;
};
PointerLocation ReadPointer(const std::string& display);
inline void PrintTo(const PointerLocation& p, std::ostream* os) {
  *os << "(" << p.x << ", " << p.y << ")";
}

// Runs a command line with DISPLAY set to the given display and returns its standard output
// (exit status in *status when given).
std::string RunWithDisplay(const std::string& display, const std::string& command, int* status = nullptr);

}  // namespace fernpad::test
