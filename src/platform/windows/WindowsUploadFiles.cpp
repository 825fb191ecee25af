// The received files on Windows: the same UploadFileSystem as on POSIX systems, over the Windows file API.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <system_error>

#include "upload/ReceivedFiles.h"

namespace fernpad::upload {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(DWORD code, const std::string& what) {
  throw std::system_error(static_cast<int>(code), std::system_category(), what);
}

// A name no handheld's file takes (it starts with a dot and carries a random part), so that a pending
// file never meets the file it is to replace.
fs::path PendingName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char name[48];
  std::snprintf(name, sizeof name, ".fernpad-upload-%016llx.part", static_cast<unsigned long long>(random()));
  return name;
}

class WindowsPendingFile final : public PendingFile {
 public:
  WindowsPendingFile(HANDLE file, fs::path path, fs::path target)
      : file_(file), path_(std::move(path)), target_(std::move(target)) {}
  WindowsPendingFile(const WindowsPendingFile&) = delete;
  WindowsPendingFile& operator=(const WindowsPendingFile&) = delete;

  ~WindowsPendingFile() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    if (!committed_) ::DeleteFileW(path_.c_str());
  }

  void Write(std::span<const std::uint8_t> bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(file_, bytes.data(), chunk, &written, nullptr) || written == 0) {
        Fail(::GetLastError(), "cannot write " + path_.string());
      }
      bytes = bytes.subspan(written);
    }
  }

  void Commit() override {
    if (!::FlushFileBuffers(file_)) Fail(::GetLastError(), "cannot flush " + path_.string());
    const bool closed = ::CloseHandle(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    if (!closed) Fail(::GetLastError(), "cannot write " + path_.string());
    // Replaces a file or a link at the target by this file; never writes through a link.
    if (!::MoveFileExW(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail(::GetLastError(), "cannot replace " + target_.string());
    }
    committed_ = true;
  }

 private:
  HANDLE file_;
  fs::path path_;
  fs::path target_;
  bool committed_ = false;
};

class WindowsUploadFileSystem final : public UploadFileSystem {
 public:
  std::optional<std::uint64_t> FreeBytes(const fs::path& folder) override {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
  }

  std::unique_ptr<PendingFile> Create(const fs::path& folder, const fs::path& target) override {
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      fs::path path = folder / PendingName();
      // CREATE_NEW never opens an existing file or link.
      const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (file != INVALID_HANDLE_VALUE)
        return std::make_unique<WindowsPendingFile>(file, std::move(path), target);
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS) Fail(error, "cannot create a file in " + folder.string());
    }
    Fail(ERROR_FILE_EXISTS, "cannot create a file in " + folder.string());
  }
};

}  // namespace

std::unique_ptr<UploadFileSystem> MakeUploadFileSystem() {
  return std::make_unique<WindowsUploadFileSystem>();
}

}  // namespace fernpad::upload
