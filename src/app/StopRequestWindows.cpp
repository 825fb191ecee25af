#include <windows.h>

#include <atomic>
#include <system_error>

#include "app/StopRequest.h"

namespace fernpad::app {
namespace {

// The console handler is a plain function: it reaches the waiting StopRequest through these.
std::atomic<HANDLE> consoleStop{nullptr};
std::atomic<HANDLE> stopped{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
  const HANDLE stop = consoleStop.load();
  if (stop == nullptr) return FALSE;
  ::SetEvent(stop);
  // After these the system ends the process as soon as the handler returns: wait (within the time the
  // system grants) until the server has stopped and saved.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    if (const HANDLE done = stopped.load()) ::WaitForSingleObject(done, 4000);
  }
  return TRUE;
}

HANDLE MakeEvent(const char* name) {
  const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, name);
  if (event == nullptr)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "creating a stop event");
  return event;
}

}  // namespace

struct StopRequest::State {
  HANDLE console = nullptr;
  HANDLE named = nullptr;
  HANDLE done = nullptr;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  state_->console = MakeEvent(nullptr);
  state_->done = MakeEvent(nullptr);
  state_->named = MakeEvent(StopEventName(::GetCurrentProcessId()).c_str());
  consoleStop = state_->console;
  stopped = state_->done;
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  ::SetEvent(state_->done);
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  consoleStop = nullptr;
  stopped = nullptr;
  ::CloseHandle(state_->console);
  ::CloseHandle(state_->named);
  ::CloseHandle(state_->done);
}

std::string StopRequest::Wait() {
  const HANDLE events[] = {state_->console, state_->named};
  const DWORD which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
  return which == WAIT_OBJECT_0 ? "console control" : "stop event";
}

}  // namespace fernpad::app
