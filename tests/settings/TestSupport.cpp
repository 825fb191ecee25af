#include "TestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fernpad::settings::testing {
namespace fs = std::filesystem;

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes Le32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>((bits >> 8) & 0xFF),
          static_cast<std::uint8_t>((bits >> 16) & 0xFF), static_cast<std::uint8_t>((bits >> 24) & 0xFF)};
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes EncodeNodes(const std::vector<Node>& nodes) {
  Bytes out;
  for (const Node& node : nodes) {
    const Bytes children = EncodeNodes(node.children);
    const auto len = static_cast<std::int32_t>(node.value.size());
    const auto size = static_cast<std::int32_t>(4 + node.value.size() + children.size());
    for (const Bytes& part : {Le32(node.key), Le32(size), Le32(len), node.value, children}) {
      out.insert(out.end(), part.begin(), part.end());
    }
  }
  return out;
}

}  // namespace fernpad::settings::testing
