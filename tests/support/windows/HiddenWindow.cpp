// Keeps wine's desktop alive between the tests of a run: a process with one window that is never shown.
// Without it, each test program would start and stop wine's desktop process again. It runs until
// scripts/test-windows.sh stops the wine server.
#include <windows.h>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcA(window, message, w, l);
}

}  // namespace

int main() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FernpadHiddenWindow";
  if (::RegisterClassA(&windowClass) == 0) return 1;
  if (::CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                        windowClass.hInstance, nullptr) == nullptr) {
    return 1;
  }
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  return 0;
}
