#include <pthread.h>

#include <csignal>
#include <system_error>

#include "app/StopRequest.h"

namespace fernpad::app {

struct StopRequest::State {
  sigset_t signals;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->signals);
  sigaddset(&state_->signals, SIGINT);
  sigaddset(&state_->signals, SIGTERM);
  // Blocked in this thread and in every thread started later; Wait takes them with sigwait.
  if (const int error = pthread_sigmask(SIG_BLOCK, &state_->signals, nullptr); error != 0)
    throw std::system_error(error, std::generic_category(), "blocking the stop signals");
}

StopRequest::~StopRequest() = default;

std::string StopRequest::Wait() {
  int signal = 0;
  while (sigwait(&state_->signals, &signal) != 0) {
  }
  return "signal " + std::to_string(signal);
}

}  // namespace fernpad::app
