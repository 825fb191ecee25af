// Feeds arbitrary bytes through the upload stream's decoder as one connection, with every photo's content
// also searched for an EXIF orientation: nothing may crash, hang, allocate by a count it was sent, or read
// past the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "upload/JpegOrientation.h"
#include "upload/UploadStream.h"

namespace {

using fernpad::upload::ByteSource;
using fernpad::upload::ContentReader;

class FuzzSource : public ByteSource {
 public:
  explicit FuzzSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  void ReadExactly(std::span<std::uint8_t> into) override {
    if (bytes_.size() - position_ < into.size()) {
      position_ = bytes_.size();
      throw fernpad::upload::StreamError("end");
    }
    std::memcpy(into.data(), bytes_.data() + position_, into.size());
    position_ += into.size();
  }
  bool Done() const { return position_ >= bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Keeps the first bytes of a photo (enough for its header segments) and searches them.
void Search(ContentReader& photo) {
  std::vector<std::uint8_t> head;
  for (auto chunk = photo.Next(); !chunk.empty() && head.size() < 4 * ContentReader::kChunkBytes;
       chunk = photo.Next()) {
    head.insert(head.end(), chunk.begin(), chunk.end());
  }
  (void)fernpad::upload::ReadJpegOrientation(head);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  (void)fernpad::upload::ReadJpegOrientation(bytes);

  fernpad::upload::UploadServices services;
  services.showImage = Search;
  services.closeImage = [] {};
  services.selectOrAddDevice = [](const std::string&, const std::string&) {};
  services.destinationFolder = [] { return std::string("/photos/"); };
  services.saveImage = [](const std::string&, const fernpad::upload::WireString&, ContentReader& photo) {
    Search(photo);
  };
  fernpad::upload::UploadCommands commands(services);
  FuzzSource source(bytes);
  try {
    while (!source.Done()) commands.IdTCPServer1Execute(source);
  } catch (const fernpad::upload::StreamError&) {
  }
  return 0;
}
