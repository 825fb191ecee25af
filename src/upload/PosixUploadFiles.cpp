// The received files on a POSIX system. A Windows version implements the same UploadFileSystem (a file
// opened with CREATE_NEW, MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
// GetDiskFreeSpaceEx).
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "upload/ReceivedFiles.h"

namespace fernpad::upload {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(int code, const std::string& what) {
  throw std::system_error(code, std::generic_category(), what);
}

// A name no handheld's file takes (it starts with a dot and carries a random part), so that a pending
// file never meets the file it is to replace.
fs::path PendingName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char name[48];
  std::snprintf(name, sizeof name, ".fernpad-upload-%016llx.part", static_cast<unsigned long long>(random()));
  return name;
}

class PosixPendingFile final : public PendingFile {
 public:
  PosixPendingFile(int fd, fs::path path, fs::path target)
      : fd_(fd), path_(std::move(path)), target_(std::move(target)) {}
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  ~PosixPendingFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }

  void Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) Fail(written < 0 ? errno : EIO, "cannot write " + path_.string());
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }

  void Commit() override {
    if (::fsync(fd_) != 0) Fail(errno, "cannot flush " + path_.string());
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) Fail(errno, "cannot write " + path_.string());
    // rename replaces a link planted at the target by the file; it never writes through it.
    if (::rename(path_.c_str(), target_.c_str()) != 0) Fail(errno, "cannot replace " + target_.string());
    committed_ = true;
    SyncFolder();
  }

 private:
  // Makes the rename durable; a failure only weakens that, so it is not reported.
  void SyncFolder() const {
    const int folder = ::open(target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    (void)::fsync(folder);
    ::close(folder);
  }

  int fd_;
  fs::path path_;
  fs::path target_;
  bool committed_ = false;
};

class PosixUploadFileSystem final : public UploadFileSystem {
 public:
  std::optional<std::uint64_t> FreeBytes(const fs::path& folder) override {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return std::uint64_t{info.f_bavail} * std::uint64_t{info.f_frsize};
  }

  std::unique_ptr<PendingFile> Create(const fs::path& folder, const fs::path& target) override {
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      fs::path path = folder / PendingName();
      // O_EXCL with O_CREAT never opens an existing file and never follows a link at the name.
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) return std::make_unique<PosixPendingFile>(fd, std::move(path), target);
      if (errno != EEXIST) Fail(errno, "cannot create a file in " + folder.string());
    }
    Fail(EEXIST, "cannot create a file in " + folder.string());
  }
};

}  // namespace

std::unique_ptr<UploadFileSystem> MakeUploadFileSystem() {
  return std::make_unique<PosixUploadFileSystem>();
}

}  // namespace fernpad::upload
