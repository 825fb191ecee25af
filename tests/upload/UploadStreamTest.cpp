#include "upload/UploadStream.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "StreamBytes.h"

namespace fernpad::upload {
namespace {

using test::Wire;

// Records what each command did, in order.
struct Recorder {
  std::vector<std::string> events;
  UploadServices Services() {
    return {
        .showImage = [this](ContentReader& photo) { events.push_back("show " + test::ReadAll(photo)); },
        .closeImage = [this] { events.push_back("close"); },
        .selectOrAddDevice = [this](
                                 const std::string& id,
                                 const std::string& name) { events.push_back("device " + id + "/" + name); },
        .destinationFolder = [] { return std::string("/photos/"); },
        .saveImage =
            [this](const std::string& folder, const WireString& name, ContentReader& photo) {
              events.push_back("save " + folder + (name.overlong ? "<overlong>" : name.bytes) + " " +
                               test::ReadAll(photo));
            },
    };
  }
};

struct LayoutCase {
  const char* what;
  Wire wire;
  std::vector<std::string> events;
  int commands;  // read whole before the stream ended
};

TEST(UploadStream, ReadsEachCommandByItsByteLayout) {
  const std::string overlong(kMaxStringBytes + 1, 'i');
  const LayoutCase cases[] = {
      {"show", Wire().Raw(std::string("\x01\0\0\0", 4)).Str("jpg"), {"show jpg"}, 1},
      {"show, empty", Wire().Int(1).Int(0), {"show "}, 1},
      {"close", Wire().Raw(std::string("\x03\0\0\0", 4)), {"close"}, 1},
      {"codes 2 and 6 read only their 4 bytes", Wire().Int(2).Int(6).Int(3), {"close"}, 3},
      {"any other code", Wire().Int(-1).Int(0x7FFFFFFF).Int(3), {"close"}, 3},
      {"save", Wire().Int(4).Str("a.jpg").Str("xyz"), {"save /photos/a.jpg xyz"}, 1},
      {"save, empty name", Wire().Int(4).Int(0).Str("xyz").Int(3), {"save /photos/ xyz", "close"}, 2},
      {"save, negative name length reads no name bytes",
       Wire().Int(4).Int(-7).Str("xyz").Int(3),
       {"save /photos/ xyz", "close"},
       2},
      {"save with device",
       Wire().Int(5).Str("id1").Str("Phone").Str("b.jpg").Str("content"),
       {"device id1/Phone", "save /photos/b.jpg content"},
       1},
      {"device texts kept as bytes",
       Wire().Int(5).Str("\xE9\x80").Str("").Str("c").Str(""),
       {"device \xE9\x80/", "save /photos/c "},
       1},
      {"show, negative count ends the command before content", Wire().Int(1).Int(-1).Int(3), {"close"}, 2},
      {"save, negative count", Wire().Int(4).Str("a").Int(-100).Int(3).Int(3), {"close", "close"}, 3},
      {"overlong file name is consumed",
       Wire().Int(4).Str(overlong).Str("x").Int(3),
       {"save /photos/<overlong> x", "close"},
       2},
      {"overlong device identifier skips the photo",
       Wire().Int(5).Str(overlong).Str("n").Str("f").Str("x").Int(3),
       {"close"},
       2},
      {"stream ends inside content", Wire().Int(3).Int(1).Int(10).Raw("abc"), {"close"}, 1},
      {"stream ends inside a code", Wire().Int(3).Raw("\x03"), {"close"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Recorder recorder;
    UploadCommands commands(recorder.Services());
    test::MemorySource source(c.wire.Bytes());
    EXPECT_EQ(test::RunAll(commands, source), c.commands);
    EXPECT_EQ(recorder.events, c.events);
  }
}

TEST(UploadStream, CountIsLittleEndianAndContentComesInBoundedChunks) {
  // 00 00 10 00 is 1048576 bytes, not 4096.
  Wire wire;
  wire.Int(1).Raw(std::string("\0\0\x10\0", 4)).Raw(std::string(1048576, 'p')).Int(3);
  std::size_t total = 0;
  std::size_t largest = 0;
  bool closed = false;
  UploadServices services;
  services.showImage = [&](ContentReader& photo) {
    EXPECT_EQ(photo.Size(), 1048576);
    for (auto chunk = photo.Next(); !chunk.empty(); chunk = photo.Next()) {
      total += chunk.size();
      largest = std::max(largest, chunk.size());
    }
  };
  services.closeImage = [&] { closed = true; };
  UploadCommands commands(services);
  test::MemorySource source(wire.Bytes());
  EXPECT_EQ(test::RunAll(commands, source), 2);
  EXPECT_EQ(total, 1048576u);
  EXPECT_LE(largest, ContentReader::kChunkBytes);
  EXPECT_TRUE(closed);
}

TEST(UploadStream, ErrorInsideTheCommandEndsOnlyTheCommand) {
  // The file cannot be written after part of the content: the rest is read past and the next command runs.
  Recorder recorder;
  UploadServices services = recorder.Services();
  services.saveImage = [](const std::string&, const WireString&, ContentReader& photo) {
    photo.Next();
    throw std::runtime_error("disk full");
  };
  services.destinationFolder = []() -> std::string { throw std::runtime_error("no folder"); };
  UploadCommands commands(services);
  Wire wire;
  wire.Int(4).Str("a").Str(std::string(3 * ContentReader::kChunkBytes, 'x')).Int(3);
  wire.Int(4).Str("b").Str("y").Int(3);
  test::MemorySource source(wire.Bytes());
  EXPECT_EQ(test::RunAll(commands, source), 4);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"close", "close"}));
}

TEST(UploadStream, FailingDeviceStepEndsTheConnection) {
  UploadServices services;
  services.selectOrAddDevice = [](const std::string&, const std::string&) {
    throw std::runtime_error("no answer");
  };
  UploadCommands commands(services);
  test::MemorySource source(Wire().Int(5).Str("id").Str("n").Str("f").Str("x").Bytes());
  EXPECT_THROW(commands.IdTCPServer1Execute(source), std::runtime_error);
}

}  // namespace
}  // namespace fernpad::upload
