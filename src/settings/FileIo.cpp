#include "settings/FileIo.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "settings/FileIoSupport.h"
#include "settings/OrnivoFile.h"

namespace fernpad::settings::file_io {
namespace fs = std::filesystem;

namespace detail {

void Fail(int code, const std::string& action, const fs::path& path) {
  throw OrnivoIoError(code, action + " \"" + path.string() + "\": " + std::strerror(code));
}

void Fail(const std::error_code& ec, const std::string& action, const fs::path& path) {
  Fail(ec.value() != 0 ? ec.value() : EIO, action, path);
}

void FailTooLarge(const fs::path& path) {
  throw OrnivoFormatError("\"" + path.string() + "\" is too large for a record file");
}

fs::path ResolveTarget(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

}  // namespace detail

void RemoveFile(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) detail::Fail(ec, "Cannot remove", path);
}

}  // namespace fernpad::settings::file_io
