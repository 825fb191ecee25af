#include "imaging/Snapshot.h"

#include <stdexcept>

#include "imaging/BMPUtil.h"
#include "imaging/Jpeg.h"
#include "imaging/PlainScale.h"

namespace fernpad {

std::string MakeSnapshot(Platform& platform, int width, int height, int quality, bool smooth) {
  if (width < 1 || height < 1) throw std::invalid_argument("snapshot: target size below 1");
  Bitmap24 picture;
  platform.CaptureScreen(picture);
  if (picture.Empty()) throw std::runtime_error("snapshot: the screen capture has no pixels");
  if (smooth) {
    TBMPUtil util;
    util.SetBitmap(picture);
    util.ShrinkTo(width, height);
  } else {
    picture = ScaleNearest(picture, width, height);
  }
  return EncodeJpeg(picture, quality);
}

}  // namespace fernpad
