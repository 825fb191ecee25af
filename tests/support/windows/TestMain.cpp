// The main of every test binary of the Windows build. A crash under wine can end the process with exit
// code 0 and no word; the filter turns it into a failed test run. No error box ever waits for a click.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* info) {
  const auto code = static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode);
  std::fprintf(stderr, "Unhandled exception 0x%08lx: the test run failed\n", code);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(ExitOnCrash);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
