#include "upload/UploadStream.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>

#include "core/Log.h"

namespace fernpad::upload {
namespace {

// Drops `count` bytes in chunks.
void Discard(ByteSource& source, std::int64_t count) {
  std::array<std::uint8_t, 4096> sink{};
  while (count > 0) {
    const auto take = static_cast<std::size_t>(std::min<std::int64_t>(count, sink.size()));
    source.ReadExactly(std::span(sink.data(), take));
    count -= static_cast<std::int64_t>(take);
  }
}

// Runs a guarded command step: any error but a failed connection ends the command, after the rest of
// the content has been read past.
template <class Step>
void Guarded(const char* command, ContentReader* content, Step&& step) {
  try {
    step();
  } catch (const StreamError&) {
    throw;
  } catch (const std::exception& error) {
    log::Verbose("upload: ", command, " failed: ", log::SafeLine(error.what()));
  }
  if (content) content->Skip();
}

// Reads a byte block's count and hands its content to a guarded step; a negative count ends the command
// before any content byte is read.
template <class Step>
void ReadContent(ByteSource& source, const char* command, Step&& step) {
  const std::int32_t size = ReadInteger(source);
  if (size < 0) {
    log::Verbose("upload: ", command, ": negative byte count ", size);
    return;
  }
  ContentReader content(source, size);
  Guarded(command, &content, [&] { step(content); });
}

}  // namespace

std::span<const std::uint8_t> ContentReader::Next() {
  if (remaining_ <= 0) return {};
  const auto take = static_cast<std::size_t>(std::min<std::int64_t>(remaining_, kChunkBytes));
  if (chunk_.size() < take) chunk_.resize(take);
  const std::span<std::uint8_t> into(chunk_.data(), take);
  const std::int64_t left = remaining_ - static_cast<std::int64_t>(take);
  remaining_ = 0;  // a failed read loses its bytes: nothing more can be read in step
  source_.ReadExactly(into);
  remaining_ = left;
  return into;
}

void ContentReader::Skip() {
  const std::int64_t left = remaining_;
  remaining_ = 0;
  Discard(source_, left);
}

std::int32_t ReadInteger(ByteSource& source) {
  std::array<std::uint8_t, 4> bytes{};
  source.ReadExactly(bytes);
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return static_cast<std::int32_t>(value);
}

WireString ReadString(ByteSource& source) {
  const std::int32_t n = ReadInteger(source);
  WireString text;
  if (n <= 0) return text;
  if (static_cast<std::size_t>(n) > kMaxStringBytes) {
    Discard(source, n);
    text.overlong = true;
    return text;
  }
  text.bytes.resize(static_cast<std::size_t>(n));
  source.ReadExactly(std::span(reinterpret_cast<std::uint8_t*>(text.bytes.data()), text.bytes.size()));
  return text;
}

void UploadCommands::IdTCPServer1Execute(ByteSource& source) {
  const std::int32_t code = ReadInteger(source);
  switch (static_cast<UploadCode>(code)) {
    case UploadCode::ShowImage:
      ShowImage(source);
      return;
    case UploadCode::CloseImage:
      if (services_.closeImage) services_.closeImage();
      return;
    case UploadCode::SaveImage:
      SaveImage(source, true);
      return;
    case UploadCode::SaveDeviceImage: {
      const WireString identifier = ReadString(source);
      const WireString name = ReadString(source);
      const bool usable = !identifier.overlong && !name.overlong;
      if (usable && services_.selectOrAddDevice) services_.selectOrAddDevice(identifier.bytes, name.bytes);
      if (!usable) log::Verbose("upload: a device identifier or name is too long; the photo is skipped");
      SaveImage(source, usable);
      return;
    }
  }
  log::Verbose("upload: code ", code, " does nothing");
}

void UploadCommands::ShowImage(ByteSource& source) {
  ReadContent(source, "showing a photo", [&](ContentReader& photo) {
    if (services_.showImage) services_.showImage(photo);
  });
}

void UploadCommands::SaveImage(ByteSource& source, bool store) {
  // Without a folder the command still reads its fields, so that the next command starts in step.
  std::optional<std::string> folder;
  if (store) {
    Guarded("storing a photo", nullptr,
            [&] { folder = services_.destinationFolder ? services_.destinationFolder() : std::string(); });
  }
  const WireString fileName = ReadString(source);
  ReadContent(source, "storing a photo", [&](ContentReader& photo) {
    if (folder && services_.saveImage) services_.saveImage(*folder, fileName, photo);
  });
}

}  // namespace fernpad::upload
