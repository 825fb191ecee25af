#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "core/Bitmap24.h"

namespace fernpad::portal {

// The frames of one PipeWire video stream (a monitor the desktop shares), received on a thread of their own;
// the latest one is kept. The desktop sends a frame when the screen changes, so the latest is the screen as
// it is.
class PipeWireFrames {
 public:
  // Connects over the descriptor (it takes it over) to the stream of the node. Throws std::runtime_error
  // when PipeWire cannot be started or reached.
  PipeWireFrames(int fd, std::uint32_t node);
  ~PipeWireFrames();
  PipeWireFrames(const PipeWireFrames&) = delete;
  PipeWireFrames& operator=(const PipeWireFrames&) = delete;

  // Waits up to timeout for the first frame; false when none has come.
  bool WaitForFirst(std::chrono::milliseconds timeout);

  // Copies the latest frame into the bitmap at its own size, waiting up to timeout for a first one. False
  // when none has come.
  bool Latest(Bitmap24& out, std::chrono::milliseconds timeout);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad::portal
