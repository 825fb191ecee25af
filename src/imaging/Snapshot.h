#pragma once

#include <string>

#include "platform/Platform.h"

namespace fernpad {

// The two snapshot commands' target size and JPEG quality.
struct SnapshotVariant {
  int width;
  int height;
  int quality;
};
inline constexpr SnapshotVariant kSnapshotSmall{400, 300, 80};  // "a=ss"
inline constexpr SnapshotVariant kSnapshotPad{1024, 768, 90};   // "a=ssPad"

// Captures the primary screen afresh and returns it as a JPEG file (EncodeJpeg's format, at `quality`).
// smooth (the "Smooth image" setting): TBMPUtil::ShrinkTo(width, height), which reduces only a screen both
// wider and taller than the target and otherwise leaves the picture at the screen's own size. Not smooth:
// plain nearest-neighbour scaling (ScaleNearest) to exactly width x height, shrinking or enlarging. Neither
// keeps the aspect ratio. Throws when the screen cannot be captured (whatever CaptureScreen throws, or
// std::runtime_error for a capture without pixels) or the picture cannot be encoded (JpegError,
// std::invalid_argument for a target size below 1); the caller answers with a server error then.
std::string MakeSnapshot(Platform& platform, int width, int height, int quality, bool smooth);

inline std::string MakeSnapshot(Platform& platform, const SnapshotVariant& variant, bool smooth) {
  return MakeSnapshot(platform, variant.width, variant.height, variant.quality, smooth);
}

}  // namespace fernpad
