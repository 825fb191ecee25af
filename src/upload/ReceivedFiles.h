#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "upload/FileNames.h"
#include "upload/UploadStream.h"

namespace fernpad::upload {

// A file being written under a name of its own in the destination folder; it takes the target name only
// when committed.
class PendingFile {
 public:
  virtual ~PendingFile() = default;  // an uncommitted file is removed
  // Appends bytes. Throws std::system_error (a full disk, a write error).
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Flushes the bytes to the disk and renames the file over the target, replacing a file or a symbolic
  // link of that name (never what a link points to). Throws std::system_error; the target is then as it
  // was and the pending file is gone.
  virtual void Commit() = 0;
};

// What storing a received file needs from the operating system.
class UploadFileSystem {
 public:
  virtual ~UploadFileSystem() = default;
  // The bytes that may still be written in the folder, or nothing when that cannot be told.
  virtual std::optional<std::uint64_t> FreeBytes(const std::filesystem::path& folder) = 0;
  // Creates a new, empty file in the folder under a fresh name (never opening an existing file or
  // following a link) that will become `target` on Commit. Throws std::system_error.
  virtual std::unique_ptr<PendingFile> Create(const std::filesystem::path& folder,
                                              const std::filesystem::path& target) = 0;
};

// The operating system's files.
std::unique_ptr<UploadFileSystem> MakeUploadFileSystem();

// Stores received content as the file `fileName` (Windows-1252 bytes, written as UTF-8) in `folder`
// (file-system bytes) and gives its path. Refused, with the content read past and the reason logged, and
// giving nothing: a name FileNameRefusal refuses (or one too long to be kept), a folder that is not an
// absolute path, and content larger than the folder's free space. Otherwise the content is written in
// chunks to a pending file that replaces the target only when every byte has arrived and is on the disk.
// Throws StreamError when the connection fails, std::system_error when the file cannot be written; either
// way nothing is left behind and an older file of that name is untouched.
std::optional<std::filesystem::path> StoreReceivedFile(UploadFileSystem& files, const std::string& folder,
                                                       const WireString& fileName, ContentReader& content,
                                                       NameRules rules = kHostNameRules);

}  // namespace fernpad::upload
