#include "settings/OrnivoFile.h"

#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

#include "settings/FileIo.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

namespace {

std::int32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  const std::uint32_t value =
      static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
      static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
  return static_cast<std::int32_t>(value);
}

void WriteLe32(std::int32_t value, std::vector<std::uint8_t>& out) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

}  // namespace

namespace record_format {
namespace {

constexpr std::size_t kHeaderSize = 12;  // Key, Size, Len

std::int32_t CheckedSize(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("record entry too large to encode");
  }
  return static_cast<std::int32_t>(size);
}

// Decodes the entry at `pos`, which must end no later than `end` (the end of the file for a top-level
// entry, of the parent's children otherwise), and moves `pos` past it.
TSizeEntry DecodeEntry(std::span<const std::uint8_t> bytes, std::size_t& pos, std::size_t end,
                       std::size_t depth) {
  const bool topLevel = depth == 1;
  if (depth > kMaxDepth) throw OrnivoFormatError("record entries nested too deeply");
  if (end - pos < kHeaderSize) {
    throw OrnivoFormatError(topLevel ? "record file ends inside an entry"
                                     : "children of a record entry do not fill its size");
  }
  TSizeEntry entry;
  entry.Key = ReadLe32(bytes, pos);
  const std::int64_t size = ReadLe32(bytes, pos + 4);
  const std::int64_t len = ReadLe32(bytes, pos + 8);
  if (len < 0) throw OrnivoFormatError("record entry with a negative value length");
  if (size < 4 + len) throw OrnivoFormatError("record entry smaller than its value");
  if (static_cast<std::uint64_t>(size) + 8 > end - pos) {
    throw OrnivoFormatError(topLevel ? "record file ends inside an entry"
                                     : "record entry larger than the entry that holds it");
  }
  const std::size_t valueStart = pos + kHeaderSize;
  const std::size_t entryEnd = pos + 8 + static_cast<std::size_t>(size);
  const std::size_t valueEnd = valueStart + static_cast<std::size_t>(len);
  entry.Value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(valueStart),
                     bytes.begin() + static_cast<std::ptrdiff_t>(valueEnd));
  pos = valueEnd;
  while (pos < entryEnd) entry.Children.push_back(DecodeEntry(bytes, pos, entryEnd, depth + 1));
  return entry;
}

}  // namespace

std::size_t EncodedSize(const TSizeEntry& entry) {
  std::size_t size = kHeaderSize + entry.Value.size();
  for (const TSizeEntry& child : entry.Children) size += EncodedSize(child);
  return size;
}

void Encode(const std::vector<TSizeEntry>& entries, std::vector<std::uint8_t>& out) {
  for (const TSizeEntry& entry : entries) {
    WriteLe32(entry.Key, out);
    WriteLe32(CheckedSize(EncodedSize(entry) - 8), out);
    WriteLe32(CheckedSize(entry.Value.size()), out);
    out.insert(out.end(), entry.Value.begin(), entry.Value.end());
    Encode(entry.Children, out);
  }
}

std::vector<std::uint8_t> Encode(const std::vector<TSizeEntry>& entries) {
  std::vector<std::uint8_t> out;
  Encode(entries, out);
  return out;
}

void Decode(std::span<const std::uint8_t> bytes, std::vector<TSizeEntry>& entries) {
  std::size_t pos = 0;
  while (pos < bytes.size()) entries.push_back(DecodeEntry(bytes, pos, bytes.size(), 1));
}

}  // namespace record_format

int TOrnivoFile::Open(const std::string& fileName, bool createIfMissing, bool truncate) {
  Close();
  fileName_ = fileName;
  entries_.clear();
  std::error_code ec;
  const bool exists = fs::exists(fs::path(fileName_), ec);
  if (ec) throw OrnivoIoError(ec.value(), "Cannot open \"" + fileName_ + "\": " + ec.message());
  if (!exists) {
    if (!createIfMissing) return kFileMissing;
    file_io::CreateEmptyFile(fileName_);
  } else if (!truncate) {
    Load();
  }
  isOpen_ = true;
  return kOk;
}

int TOrnivoFile::Close() {
  isOpen_ = false;
  return kOk;
}

int TOrnivoFile::Load() {
  entries_.clear();
  const std::vector<std::uint8_t> bytes = file_io::ReadWholeFile(fileName_, record_format::kMaxFileSize);
  try {
    record_format::Decode(bytes, entries_);
  } catch (const OrnivoFormatError& e) {
    throw OrnivoFormatError("\"" + fileName_ + "\": " + e.what());
  }
  return kOk;
}

int TOrnivoFile::Save() {
  if (!isOpen_) throw OrnivoIoError(103, "Cannot save \"" + fileName_ + "\": the file is not open");
  const std::vector<std::uint8_t> bytes = record_format::Encode(entries_);
  file_io::ReplaceFile(fileName_, bytes);
  return kOk;
}

std::int32_t TOrnivoFile::ReadInteger(const KeyPath& path) const {
  const TBinData value = FindValue(path, entries_);
  return value.size() == 4 ? ReadLe32(value, 0) : 0;
}

bool TOrnivoFile::ReadBoolean(const KeyPath& path) const {
  const TBinData value = FindValue(path, entries_);
  return value.size() == 1 && value[0] != 0;
}

std::string TOrnivoFile::ReadString(const KeyPath& path) const {
  const TBinData value = FindValue(path, entries_);
  return std::string(value.begin(), value.end());
}

int TOrnivoFile::WriteInteger(const KeyPath& path, std::int32_t value) {
  TBinData bytes;
  WriteLe32(value, bytes);
  return Write(path, std::move(bytes));
}

int TOrnivoFile::WriteBoolean(const KeyPath& path, bool value) {
  return Write(path, TBinData{static_cast<std::uint8_t>(value ? 1 : 0)});
}

int TOrnivoFile::WriteString(const KeyPath& path, const std::string& value) {
  return Write(path, TBinData(value.begin(), value.end()));
}

int TOrnivoFile::Write(const KeyPath& path, TBinData value) {
  if (!isOpen_) return kNotOpen;
  if (path.empty() || path.size() > record_format::kMaxDepth) {
    throw std::invalid_argument("record key path must have 1 to " + std::to_string(record_format::kMaxDepth) +
                                " keys");
  }
  SetValue(path, std::move(value), entries_);
  return kOk;
}

TBinData TOrnivoFile::FindValue(std::span<const std::int32_t> path, const std::vector<TSizeEntry>& list) {
  const std::vector<TSizeEntry>* level = &list;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const TSizeEntry* found = nullptr;
    for (const TSizeEntry& entry : *level) {
      if (entry.Key == path[i]) {
        found = &entry;
        break;
      }
    }
    if (found == nullptr) return {};
    if (i + 1 == path.size()) return found->Value;
    level = &found->Children;
  }
  return {};
}

bool TOrnivoFile::SetValue(std::span<const std::int32_t> path, TBinData value,
                           std::vector<TSizeEntry>& list) {
  if (path.empty()) return false;
  std::vector<TSizeEntry>* level = &list;
  for (std::size_t i = 0; i < path.size(); ++i) {
    TSizeEntry* found = nullptr;
    for (TSizeEntry& entry : *level) {
      if (entry.Key == path[i]) {
        found = &entry;
        break;
      }
    }
    if (found == nullptr) {
      level->push_back(TSizeEntry{path[i], {}, {}});
      found = &level->back();
    }
    if (i + 1 == path.size()) {
      found->Value = std::move(value);
      return true;
    }
    level = &found->Children;
  }
  return true;
}

}  // namespace fernpad::settings
