#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fernpad::settings {

// The bytes of one entry. The type is not recorded; the reader must know it.
using TBinData = std::vector<std::uint8_t>;

// A sequence of keys, the first selecting a top-level entry, the next one of its children, and so on.
using KeyPath = std::vector<std::int32_t>;

// One node of the record tree. An empty `Children` list and "no children" are the same thing on disk.
struct TSizeEntry {
  std::int32_t Key = 0;
  std::vector<TSizeEntry> Children;
  TBinData Value;
  friend bool operator==(const TSizeEntry&, const TSizeEntry&) = default;
};

// An input/output failure: the operating system refused (Code() is the errno value) or the file's
// contents cannot be a record file (see OrnivoFormatError).
class OrnivoIoError : public std::runtime_error {
 public:
  OrnivoIoError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// The file's bytes do not form a record tree: it ends inside an entry, a length is negative or larger
// than what is left, or the children of an entry do not fill exactly the size it promises.
class OrnivoFormatError : public OrnivoIoError {
 public:
  // Code() of every format error; matches the runtime's "read beyond end of file".
  static constexpr int kCode = 100;
  explicit OrnivoFormatError(const std::string& what) : OrnivoIoError(kCode, what) {}
};

// Encoding and decoding of the on-disk format, without any file access.
namespace record_format {

// Deeper trees are refused when decoding; the program's own paths have at most four levels.
inline constexpr std::size_t kMaxDepth = 64;
// Larger files are refused before they are read; real record files hold a few hundred bytes.
inline constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

// Bytes an entry takes on disk: 12 + value length + its children's encoded sizes.
std::size_t EncodedSize(const TSizeEntry& entry);
// Appends the entries in sibling order.
void Encode(const std::vector<TSizeEntry>& entries, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> Encode(const std::vector<TSizeEntry>& entries);
// Decodes a whole file. Throws OrnivoFormatError on malformed input; `entries` then holds the
// top-level entries that were complete before the fault.
void Decode(std::span<const std::uint8_t> bytes, std::vector<TSizeEntry>& entries);

}  // namespace record_format

// A record file: a small tree of keyed byte values, read whole by Open and written whole by Save.
// Reads consult only the in-memory tree; nothing reaches the disk before Save. One instance belongs to
// one thread.
class TOrnivoFile {
 public:
  static constexpr int kOk = 0;
  static constexpr int kFileMissing = 7;  // Open: missing and create-if-missing not set
  static constexpr int kNotOpen = 8;      // writers: Open has not succeeded

  TOrnivoFile() = default;
  TOrnivoFile(const TOrnivoFile&) = delete;
  TOrnivoFile& operator=(const TOrnivoFile&) = delete;
  ~TOrnivoFile() { Close(); }

  // Opens `fileName` and reads its tree. A missing file gives kFileMissing unless `createIfMissing`,
  // which creates it empty. With `truncate` the tree starts empty and the file is not read; the file on
  // disk keeps its contents until Save replaces it. Throws OrnivoIoError when the file cannot be
  // created or read and OrnivoFormatError when it is damaged; the file then stays closed.
  int Open(const std::string& fileName, bool createIfMissing, bool truncate);
  int Close();
  // Replaces the tree by the file's contents. Throws like Open.
  int Load();
  // Writes the whole tree to FileName(). The file is replaced in one step: a new file is written and
  // flushed beside it and renamed over the old one, so a failure at any point leaves the old file
  // whole. Throws OrnivoIoError when the file is not open or cannot be written, or when the existing
  // file is write-protected.
  int Save();

  std::int32_t ReadInteger(const KeyPath& path) const;
  std::int32_t ReadColor(const KeyPath& path) const { return ReadInteger(path); }
  bool ReadBoolean(const KeyPath& path) const;
  std::string ReadString(const KeyPath& path) const;

  // Return kOk, or kNotOpen with the tree unchanged. Throw std::invalid_argument for an empty path or
  // one deeper than record_format::kMaxDepth (such a tree could not be read back).
  int WriteInteger(const KeyPath& path, std::int32_t value);
  int WriteColor(const KeyPath& path, std::int32_t value) { return WriteInteger(path, value); }
  int WriteBoolean(const KeyPath& path, bool value);
  int WriteString(const KeyPath& path, const std::string& value);

  // The value of the first entry along `path` (earlier siblings win), or an empty value.
  static TBinData FindValue(std::span<const std::int32_t> path, const std::vector<TSizeEntry>& list);
  // Stores `value` at `path`, creating missing entries at the end of their sibling lists; an existing
  // entry keeps its place and its children. False only for an empty path.
  static bool SetValue(std::span<const std::int32_t> path, TBinData value, std::vector<TSizeEntry>& list);

  const std::string& FileName() const { return fileName_; }
  bool IsOpen() const { return isOpen_; }
  const std::vector<TSizeEntry>& Entries() const { return entries_; }

 private:
  int Write(const KeyPath& path, TBinData value);

  std::string fileName_;
  std::vector<TSizeEntry> entries_;
  bool isOpen_ = false;
};

}  // namespace fernpad::settings
