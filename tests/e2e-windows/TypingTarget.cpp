// A window for the end-to-end tests: takes the foreground and appends every character it receives
// (WM_CHAR, one byte each) to the file named by its argument. Ends when its window is closed.
#include <windows.h>

#include <cstdio>

namespace {

std::FILE* log = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR:
      std::fputc(static_cast<int>(wParam & 0xFF), log);
      std::fflush(log);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  log = std::fopen(argv[1], "wb");
  if (log == nullptr) return 1;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FernpadTypingTarget";
  ::RegisterClassA(&windowClass);
  const HWND window =
      ::CreateWindowExA(WS_EX_TOPMOST, "FernpadTypingTarget", "Typing target", WS_POPUP | WS_VISIBLE, 0, 0,
                        200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  ::SetForegroundWindow(window);
  ::SetFocus(window);
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  std::fclose(log);
  return 0;
}
