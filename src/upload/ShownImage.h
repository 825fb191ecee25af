#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "upload/ReceivedFiles.h"
#include "upload/UploadStream.h"

namespace fernpad::upload {

// The file the photo shown full screen is kept in.
inline constexpr const char* kShownImageName = "temp.jpg";

// Photos larger than this are kept and shown as received, never turned (turning needs the whole photo in
// memory).
inline constexpr std::int64_t kMaxTurnedPhotoBytes = 64 * 1024 * 1024;

// Stores the photo of ShowImage as "temp.jpg" in `folder` and gives its path. When its EXIF orientation is
// 3, 6 or 8 the picture is turned upright and stored as a new JPEG of quality 95 (without the tag);
// otherwise the file holds exactly the bytes received. Each call writes a pending file of its own that
// replaces "temp.jpg" in one step, so simultaneous calls never mix their bytes. Nothing when the folder is
// empty (the content is read past). Throws StreamError when the connection fails, std::system_error when
// the file cannot be written, JpegError when a photo to turn cannot be decoded; nothing is left behind
// then and the previous "temp.jpg" stays.
std::optional<std::filesystem::path> StoreShownImage(UploadFileSystem& files,
                                                     const std::filesystem::path& folder,
                                                     ContentReader& photo);

}  // namespace fernpad::upload
