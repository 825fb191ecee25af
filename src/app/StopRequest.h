#pragma once

#include <memory>
#include <string>

namespace fernpad::app {

// The request to end a process that runs without windows, caught from the moment of construction.
// POSIX: SIGINT and SIGTERM (construct it before starting any thread, so that every thread inherits them
// blocked). Windows: Ctrl+C, Ctrl+Break and closing the console, and the named event StopEventName() of
// this process being set (how a program without a console, such as a test, asks for a clean stop).
// Throws std::system_error when the request cannot be caught.
class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Blocks until the stop is requested; returns what requested it, for the log.
  std::string Wait();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The name of the event that stops the process `pid` on Windows: "Local\FernpadServerStop-<pid>".
inline std::string StopEventName(unsigned long pid) {
  return "Local\\FernpadServerStop-" + std::to_string(pid);
}

}  // namespace fernpad::app
