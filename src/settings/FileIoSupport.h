#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// What the file functions of each system share.
namespace fernpad::settings::file_io::detail {

// Throw OrnivoIoError with the errno value `code` (EIO for an empty error code).
[[noreturn]] void Fail(int code, const std::string& action, const std::filesystem::path& path);
[[noreturn]] void Fail(const std::error_code& ec, const std::string& action,
                       const std::filesystem::path& path);
// Throws OrnivoFormatError: the file is larger than a record file may be.
[[noreturn]] void FailTooLarge(const std::filesystem::path& path);

// The file a save must replace: the target of a symbolic link rather than the link itself, so that a
// linked settings file stays linked.
std::filesystem::path ResolveTarget(const std::filesystem::path& path);

}  // namespace fernpad::settings::file_io::detail
