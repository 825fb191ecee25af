// The file functions of the settings on Windows, over the Windows file API: a save is written to a file
// of its own beside the target, flushed to the disk and moved over the target in one step.
#include <windows.h>
#undef ReplaceFile  // winbase.h's name for ReplaceFileW, not this file's ReplaceFile

#include <algorithm>
#include <atomic>
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

// The errno value closest to a Windows error, for OrnivoIoError.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

[[noreturn]] void FailWithLastError(const std::string& action, const fs::path& path) {
  Fail(ErrnoOf(::GetLastError()), action, path);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    const BOOL ok = ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE h_;
};

// Creates a new file beside `target` that no other save uses: a name left by a save that crashed, or one
// another process is writing, is skipped.
Handle CreateTemporaryBeside(const fs::path& target, fs::path& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target;
    temporary += ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (file.Valid()) return file;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
  }
  FailWithLastError("Cannot create a file beside", target);
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path, std::size_t maxSize) {
  Handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) FailWithLastError("Cannot open", path);
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK) Fail(EINVAL, "Not a regular file:", path);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size)) FailWithLastError("Cannot examine", path);
  if (static_cast<std::uint64_t>(size.QuadPart) > maxSize) FailTooLarge(path);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!::ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr))
      FailWithLastError("Cannot read", path);
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

void CreateEmptyFile(const fs::path& path) {
  Handle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) FailWithLastError("Cannot create", path);
  if (!file.Close()) FailWithLastError("Cannot create", path);
}

void ReplaceFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
  const fs::path target = ResolveTarget(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    Fail(EACCES, "Cannot replace", target);

  fs::path temporary;
  Handle file = CreateTemporaryBeside(target, temporary);
  try {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      if (!::WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
        FailWithLastError("Cannot write", temporary);
      done += written;
    }
    if (!::FlushFileBuffers(file.Get())) FailWithLastError("Cannot flush", temporary);
    if (!file.Close()) FailWithLastError("Cannot write", temporary);
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      FailWithLastError("Cannot replace", target);
  } catch (...) {
    if (file.Valid()) file.Close();
    ::DeleteFileW(temporary.c_str());
    throw;
  }
}

}  // namespace fernpad::settings::file_io
