#include <poll.h>
#include <unistd.h>

#include "app/TerminalInput.h"

namespace fernpad::app::terminal {

bool IsTerminal(int fd) {
  return isatty(fd) == 1;
}

int WaitReadable(int fd, int milliseconds) {
  pollfd p{fd, POLLIN, 0};
  const int ready = poll(&p, 1, milliseconds);
  return ready < 0 ? -1 : (ready > 0 ? 1 : 0);
}

int ReadByte(int fd, char& c) {
  const ssize_t n = read(fd, &c, 1);
  return n < 0 ? -1 : static_cast<int>(n);
}

}  // namespace fernpad::app::terminal
