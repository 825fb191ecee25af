#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fernpad::upload {

// The handheld's photo stream: a command code (a little-endian signed 32-bit integer) and its fields, one
// command after the other, nothing ever sent back.
enum class UploadCode : std::int32_t {
  ShowImage = 1,
  CloseImage = 3,
  SaveImage = 4,
  SaveDeviceImage = 5,
};

// The connection failed or ended: the stream cannot be read on.
class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bytes of one connection.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills `into` completely, waiting as long as the connection allows. Throws StreamError when the
  // connection ends or fails first; the bytes of a failed read are lost.
  virtual void ReadExactly(std::span<std::uint8_t> into) = 0;
};

// Strings longer than this are consumed but not kept (a real file name or device text is far shorter).
inline constexpr std::size_t kMaxStringBytes = 4096;

// A string field: the bytes as sent (Windows-1252 text), or, when it was longer than kMaxStringBytes,
// nothing but the fact.
struct WireString {
  std::string bytes;
  bool overlong = false;
};

// The content of a byte block, handed out in chunks of at most kChunkBytes so that no photo is ever held
// in memory whole.
class ContentReader {
 public:
  static constexpr std::size_t kChunkBytes = 64 * 1024;

  ContentReader(ByteSource& source, std::int64_t size) : source_(source), size_(size), remaining_(size) {}

  std::int64_t Size() const { return size_; }
  std::int64_t Remaining() const { return remaining_; }

  // The next chunk; empty once all bytes were read. Valid until the next call. Throws StreamError.
  std::span<const std::uint8_t> Next();
  // Reads and drops what is left, keeping the stream in step. Throws StreamError.
  void Skip();

 private:
  ByteSource& source_;
  std::int64_t size_;
  std::int64_t remaining_;
  std::vector<std::uint8_t> chunk_;
};

// What the commands do; the decoder hands each one its typed fields. A service that is not set leaves its
// command without effect (the content is still consumed).
struct UploadServices {
  // Code 1: the photo to show full screen.
  std::function<void(ContentReader& photo)> showImage;
  // Code 3: closes the full-screen photo.
  std::function<void()> closeImage;
  // Code 5, before the photo is read: selects the sending device or adds it (may wait for the user).
  // An exception from it ends the connection.
  std::function<void(const std::string& identifier, const std::string& name)> selectOrAddDevice;
  // Codes 4 and 5: the destination folder as it is when the photo starts (file-system bytes).
  std::function<std::string()> destinationFolder;
  // Codes 4 and 5: stores the photo under `fileName` (Windows-1252 bytes, unchecked) in `folder`.
  std::function<void(const std::string& folder, const WireString& fileName, ContentReader& photo)> saveImage;
};

// Reads and runs the commands of one connection.
//
// Failures: an error while reading the command code, or the device identifier or name of code 5, or in
// selectOrAddDevice, is thrown (StreamError for the connection) and ends the connection. From the byte count
// on (for codes 4 and 5 from asking for the destination folder on) an error ends only the command: it is
// logged, the rest of the content is skipped so that the next command starts at the right place, and the
// connection goes on. A negative byte count ends the command before any content byte is read. A failed read
// inside a command still ends the connection (a stream missing bytes cannot be followed any more). An
// identifier or name longer than kMaxStringBytes skips the command, content included, without the device
// step; an overlong file name reaches saveImage marked as such.
class UploadCommands {
 public:
  explicit UploadCommands(UploadServices services) : services_(std::move(services)) {}

  // Reads one command from the stream and runs it.
  void IdTCPServer1Execute(ByteSource& source);

 private:
  void ShowImage(ByteSource& source);
  void SaveImage(ByteSource& source, bool store);

  UploadServices services_;
};

// The wire integer: signed 32-bit, least significant byte first. Throws StreamError.
std::int32_t ReadInteger(ByteSource& source);
// A wire string: an integer n, then n bytes; n <= 0 gives the empty string. Throws StreamError.
WireString ReadString(ByteSource& source);

}  // namespace fernpad::upload
