// The file functions of POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "settings/FileIo.h"
#include "settings/FileIoSupport.h"

namespace fernpad::settings::file_io {
namespace fs = std::filesystem;
using detail::Fail;
using detail::FailTooLarge;
using detail::ResolveTarget;

namespace {

// Owns a file descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  // Closes now and reports the result, which for a written file can be the first sign of a failed write.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

void WriteAll(int fd, std::span<const std::uint8_t> bytes, const fs::path& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "Cannot write", path);
    }
    if (written == 0) Fail(EIO, "Cannot write", path);
    done += static_cast<std::size_t>(written);
  }
}

// Makes a completed rename durable. Failure only weakens that guarantee, so it is not reported.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  Descriptor owned(fd);
  (void)::fsync(owned.Get());
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path, std::size_t maxSize) {
  // O_NONBLOCK keeps a pipe put in place of the file from stalling the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) Fail(errno, "Cannot open", path);
  Descriptor file(fd);
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) Fail(errno, "Cannot examine", path);
  if (S_ISDIR(info.st_mode)) Fail(EISDIR, "Cannot read", path);
  if (!S_ISREG(info.st_mode)) Fail(EINVAL, "Not a regular file:", path);
  if (static_cast<std::uint64_t>(info.st_size) > maxSize) {
    FailTooLarge(path);
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "Cannot read", path);
    }
    if (got == 0) break;
    if (bytes.size() + static_cast<std::size_t>(got) > maxSize) {
      FailTooLarge(path);
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

void CreateEmptyFile(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) Fail(errno, "Cannot create", path);
  Descriptor file(fd);
  if (file.Close() != 0) Fail(errno, "Cannot create", path);
}

void ReplaceFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
  const fs::path target = ResolveTarget(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && ::access(target.c_str(), W_OK) != 0) Fail(errno, "Cannot replace", target);

  std::string pattern = target.string() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) Fail(errno, "Cannot create a file beside", target);
  const fs::path temporary = pattern;
  Descriptor file(fd);
  try {
    if (exists && ::fchmod(file.Get(), old.st_mode & 07777) != 0)
      Fail(errno, "Cannot set the mode of", temporary);
    WriteAll(file.Get(), bytes, temporary);
    if (::fsync(file.Get()) != 0) Fail(errno, "Cannot flush", temporary);
    if (file.Close() != 0) Fail(errno, "Cannot write", temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0) Fail(errno, "Cannot replace", target);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  SyncFolder(target.parent_path());
}

}  // namespace fernpad::settings::file_io
