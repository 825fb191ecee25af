#include <io.h>
#include <windows.h>

#include <algorithm>

#include "app/TerminalInput.h"

namespace fernpad::app::terminal {
namespace {

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

bool IsTerminal(int fd) {
  // Not _isatty: it also says yes for the null device.
  DWORD mode = 0;
  return ::GetConsoleMode(HandleOf(fd), &mode) != 0;
}

int WaitReadable(int fd, int milliseconds) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  switch (::GetFileType(handle)) {
    case FILE_TYPE_CHAR: {
      // A console is signalled by any input event; a line-mode read then waits for the whole line.
      const DWORD result = ::WaitForSingleObject(handle, static_cast<DWORD>(milliseconds));
      return result == WAIT_OBJECT_0 ? 1 : (result == WAIT_TIMEOUT ? 0 : -1);
    }
    case FILE_TYPE_PIPE: {
      // Pipes cannot be waited on: look at them in short steps.
      for (int waited = 0;; waited += 20) {
        DWORD available = 0;
        // A failure is a closed pipe: the read then reports the end of the input.
        if (!::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0) return 1;
        if (waited >= milliseconds) return 0;
        ::Sleep(static_cast<DWORD>(std::min(20, milliseconds - waited)));
      }
    }
    default:
      return 1;  // a file never blocks
  }
}

int ReadByte(int fd, char& c) {
  const int n = ::_read(fd, &c, 1);
  return n < 0 ? -1 : n;
}

}  // namespace fernpad::app::terminal
