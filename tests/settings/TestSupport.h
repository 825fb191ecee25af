#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fernpad::settings::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::filesystem::path& Path() const { return path_; }
  // `name` is UTF-8, as the program's own file names are.
  std::filesystem::path operator/(const std::string& name) const {
    return path_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
  }

 private:
  std::filesystem::path path_;
};

// Sets (or with nullopt unsets) an environment variable and restores it when destroyed.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
// The names in a folder, UTF-8, sorted.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);

// A record tree built by hand, encoded without the code under test: key, size, length (4 bytes
// little-endian each), value, children.
struct Node {
  std::int32_t key;
  Bytes value;
  std::vector<Node> children;
};
Bytes EncodeNodes(const std::vector<Node>& nodes);
Bytes Le32(std::int32_t value);
Bytes Text(const std::string& text);

// Runs `body` in a child process and returns its exit status (or -signal). The body's return value is
// the exit code. POSIX builds only.
int RunInChild(const std::function<int()>& body);

}  // namespace fernpad::settings::testing
