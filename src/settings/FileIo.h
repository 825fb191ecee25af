#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// Whole-file reads and one-step replacement, shared by the record file and the autostart entry.
// Every function throws OrnivoIoError (settings/OrnivoFile.h) carrying the errno value on failure.
namespace fernpad::settings::file_io {

// Reads a regular file of at most `maxSize` bytes. Anything that is not a regular file (a directory,
// a pipe that would block) is refused; a larger file throws OrnivoFormatError.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path, std::size_t maxSize);

// Creates an empty file (readable and writable by the user only) unless it exists already.
void CreateEmptyFile(const std::filesystem::path& path);

// Replaces the file at `path` (the target of a symbolic link) by `bytes`: writes a temporary file in the
// same folder, flushes it to the disk and renames it over the old file. On any failure the temporary
// file is removed and the old file is left untouched. A file the user cannot write is refused (EACCES)
// rather than replaced. An existing file's permissions carry over; a new file is private to the user.
void ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Removes a file; a missing file is no error.
void RemoveFile(const std::filesystem::path& path);

}  // namespace fernpad::settings::file_io
