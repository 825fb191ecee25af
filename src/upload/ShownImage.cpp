#include "upload/ShownImage.h"

#include <string>
#include <vector>

#include "core/Log.h"
#include "imaging/BMPUtil.h"
#include "imaging/Jpeg.h"
#include "upload/JpegOrientation.h"

namespace fernpad::upload {

namespace {

std::string Upright(std::string_view jpeg, int orientation) {
  Bitmap24 picture = DecodeJpeg(jpeg);
  TBMPUtil util;
  util.SetBitmap(picture);
  if (orientation == kOrientationTurn180) util.Rotate180();
  if (orientation == kOrientationTurnRight) util.RotateRight();
  if (orientation == kOrientationTurnLeft) util.RotateLeft();
  return EncodeJpeg(picture, 95);
}

}  // namespace

std::optional<std::filesystem::path> StoreShownImage(UploadFileSystem& files,
                                                     const std::filesystem::path& folder,
                                                     ContentReader& photo) {
  if (folder.empty()) {
    log::Verbose("upload: no folder to keep the shown photo in");
    photo.Skip();
    return std::nullopt;
  }
  const std::filesystem::path target = folder / kShownImageName;
  // The bytes go to the disk as they come; a photo small enough to be turned is kept in memory as well.
  std::unique_ptr<PendingFile> received = files.Create(folder, target);
  std::vector<std::uint8_t> bytes;
  const bool keep = photo.Size() <= kMaxTurnedPhotoBytes;
  if (keep) bytes.reserve(static_cast<std::size_t>(photo.Size()));
  for (auto chunk = photo.Next(); !chunk.empty(); chunk = photo.Next()) {
    received->Write(chunk);
    if (keep) bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  }

  const int orientation = keep ? ReadJpegOrientation(bytes) : 0;
  if (orientation != kOrientationTurn180 && orientation != kOrientationTurnRight &&
      orientation != kOrientationTurnLeft) {
    received->Commit();
    return target;
  }
  const std::string upright =
      Upright(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), orientation);
  received.reset();  // the photo as received is not kept
  std::unique_ptr<PendingFile> turned = files.Create(folder, target);
  turned->Write(std::span(reinterpret_cast<const std::uint8_t*>(upright.data()), upright.size()));
  turned->Commit();
  return target;
}

}  // namespace fernpad::upload
