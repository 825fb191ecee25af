#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace fernpad::upload {

// EXIF orientation values that ask for a turn; every other value leaves the photo as it is.
inline constexpr int kOrientationTurn180 = 3;
inline constexpr int kOrientationTurnRight = 6;  // 90 degrees clockwise
inline constexpr int kOrientationTurnLeft = 8;   // 90 degrees counter-clockwise

// The EXIF orientation (tag 0x0112 of type SHORT) of a JPEG file, 0 when none is found. Walks the marker
// segments up to the start of the scan and searches the TIFF directories of every APPn segment that begins
// with "Exif\0\0", following the next-directory chain. Never throws and never reads outside the segment it
// searches: 0 for anything that is not such a JPEG, for an APPn segment shorter than 10 bytes, for a segment
// that runs past the end of the data, and for an EXIF block whose offsets leave the segment or whose
// directory chain comes back to a directory already searched.
int ReadJpegOrientation(std::span<const std::uint8_t> jpeg);

// The same for the file at `path`, reading only the marker segment headers and the APPn payloads, never the
// compressed picture. 0 when the file cannot be opened or read.
int ReadJpegOrientation(const std::filesystem::path& path);

}  // namespace fernpad::upload
