#include "upload/ReceivedFiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "../settings/TestSupport.h"
#include "StreamBytes.h"

namespace fernpad::upload {
namespace {

namespace fs = std::filesystem;
using settings::testing::FolderListing;
using settings::testing::TempDir;
using test::Wire;

std::string ReadText(const fs::path& path) {
  const auto bytes = settings::testing::ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

// The system's files, with a disk that can be made to fill up or to report little free space.
class TightDisk : public UploadFileSystem {
 public:
  std::optional<std::uint64_t> freeBytes;
  std::optional<std::size_t> failAfter;  // bytes written before the disk is full
  int created = 0;

  std::optional<std::uint64_t> FreeBytes(const fs::path& folder) override {
    return freeBytes ? freeBytes : real_->FreeBytes(folder);
  }
  std::unique_ptr<PendingFile> Create(const fs::path& folder, const fs::path& target) override {
    ++created;
    return std::make_unique<Pending>(real_->Create(folder, target), failAfter);
  }

 private:
  class Pending : public PendingFile {
   public:
    Pending(std::unique_ptr<PendingFile> real, std::optional<std::size_t> failAfter)
        : real_(std::move(real)), left_(failAfter) {}
    void Write(std::span<const std::uint8_t> bytes) override {
      if (left_ && bytes.size() > *left_)
        throw std::system_error(ENOSPC, std::generic_category(), "disk full");
      if (left_) *left_ -= bytes.size();
      real_->Write(bytes);
    }
    void Commit() override { real_->Commit(); }

   private:
    std::unique_ptr<PendingFile> real_;
    std::optional<std::size_t> left_;
  };
  std::unique_ptr<UploadFileSystem> real_ = MakeUploadFileSystem();
};

// Runs the stream against a folder; gives how many commands were read whole and whether the last
// command, a close, was reached in step.
struct Receiver {
  UploadFileSystem& files;
  std::string folder;
  NameRules rules = NameRules::Posix;
  bool closed = false;

  int Run(const Wire& wire) {
    UploadServices services;
    services.destinationFolder = [this] { return folder; };
    services.saveImage = [this](const std::string& f, const WireString& name, ContentReader& photo) {
      StoreReceivedFile(files, f, name, photo, rules);
    };
    services.closeImage = [this] { closed = true; };
    UploadCommands commands(services);
    test::MemorySource source(wire.Bytes());
    return test::RunAll(commands, source);
  }
};

struct NameCase {
  std::string name;
  NameRules rules;
  std::string storedAs;  // empty: refused
};

TEST(ReceivedFiles, NamesAreCheckedBeforeTheDiskAndRefusalsKeepTheStreamInStep) {
  const NameCase cases[] = {
      {"photo.jpg", NameRules::Posix, "photo.jpg"},
      {"caf\xE9 \x80.jpg", NameRules::Posix, "caf\u00E9 \u20AC.jpg"},
      {std::string(255, 'a'), NameRules::Posix, std::string(255, 'a')},
      {"CONSOLE.jpg", NameRules::Windows, "CONSOLE.jpg"},
      {"..jpg", NameRules::Posix, "..jpg"},
      {"", NameRules::Posix, ""},
      {".", NameRules::Posix, ""},
      {"..", NameRules::Posix, ""},
      {"a/b.jpg", NameRules::Posix, ""},
      {"../up.jpg", NameRules::Posix, ""},
      {"a\\b.jpg", NameRules::Posix, ""},
      {"c:b.jpg", NameRules::Posix, ""},
      {std::string("a\0b", 3), NameRules::Posix, ""},
      {"a\nb", NameRules::Posix, ""},
      {"a\x1F", NameRules::Posix, ""},
      {"a\x7F", NameRules::Posix, ""},
      {std::string(256, 'a'), NameRules::Posix, ""},
      {std::string(128, '\xE9'), NameRules::Posix, ""},  // 256 bytes once in UTF-8
      {std::string(kMaxStringBytes + 1, 'a'), NameRules::Posix, ""},
      {"CON", NameRules::Windows, ""},
      {"con.txt", NameRules::Windows, ""},
      {"Nul .jpg", NameRules::Windows, ""},
      {"LPT1.jpg", NameRules::Windows, ""},
      {"com\xB9", NameRules::Windows, ""},
      {"photo.", NameRules::Windows, ""},
      {"photo ", NameRules::Windows, ""},
      {"what?.jpg", NameRules::Windows, ""},
  };
  auto files = MakeUploadFileSystem();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name.substr(0, 40)));
    TempDir folder;
    Receiver receiver{*files, folder.Path().string() + "/", c.rules};
    EXPECT_EQ(receiver.Run(Wire().Int(4).Str(c.name).Str("content").Int(3)), 2);
    EXPECT_TRUE(receiver.closed);
    if (c.storedAs.empty()) {
      EXPECT_TRUE(FolderListing(folder.Path()).empty());
    } else {
      EXPECT_EQ(FolderListing(folder.Path()), std::vector<std::string>{c.storedAs});
      EXPECT_EQ(ReadText(folder / c.storedAs), "content");
    }
  }
}

TEST(ReceivedFiles, SameNameReplacesTheFile) {
  TempDir folder;
  settings::testing::WriteBytes(folder / "a.jpg", {'o', 'l', 'd'});
  auto files = MakeUploadFileSystem();
  Receiver receiver{*files, folder.Path().string()};
  receiver.Run(Wire().Int(4).Str("a.jpg").Str("new photo"));
  EXPECT_EQ(FolderListing(folder.Path()), std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(ReadText(folder / "a.jpg"), "new photo");
}

TEST(ReceivedFiles, LinkPlantedAtTheNameIsReplacedNotFollowed) {
  TempDir folder;
  TempDir elsewhere;
  settings::testing::WriteBytes(elsewhere / "secret", {'k', 'e', 'e', 'p'});
  std::error_code ec;
  fs::create_symlink(elsewhere / "secret", folder / "a.jpg", ec);
  if (ec) GTEST_SKIP() << "this system makes no symbolic links: " << ec.message();
  auto files = MakeUploadFileSystem();
  Receiver receiver{*files, folder.Path().string()};
  receiver.Run(Wire().Int(4).Str("a.jpg").Str("photo"));
  EXPECT_EQ(ReadText(elsewhere / "secret"), "keep");
  EXPECT_FALSE(fs::is_symlink(folder / "a.jpg"));
  EXPECT_EQ(ReadText(folder / "a.jpg"), "photo");
}

struct FailureCase {
  const char* what;
  std::optional<std::uint64_t> freeBytes;
  std::optional<std::size_t> failAfter;
  bool dropMidContent;
  int created;  // pending files made
};

TEST(ReceivedFiles, FailuresLeaveNoPartFileAndTheOlderFileWhole) {
  const std::size_t size = 3 * ContentReader::kChunkBytes + 5;
  const FailureCase cases[] = {
      {"connection drops inside the content", std::nullopt, std::nullopt, true, 1},
      {"disk fills up", std::nullopt, ContentReader::kChunkBytes + 1, false, 1},
      {"count beyond the free space is refused before writing", size - 1, std::nullopt, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    settings::testing::WriteBytes(folder / "a.jpg", {'o', 'l', 'd'});
    TightDisk disk;
    disk.freeBytes = c.freeBytes;
    disk.failAfter = c.failAfter;
    Receiver receiver{disk, folder.Path().string()};
    Wire wire;
    wire.Int(4).Str("a.jpg").Int(static_cast<std::int32_t>(size)).Raw(std::string(size, 'n'));
    if (c.dropMidContent) {
      auto bytes = wire.Bytes();
      bytes.resize(bytes.size() - 10);
      wire = Wire().Raw(std::string(bytes.begin(), bytes.end()));
    } else {
      wire.Int(3);
    }
    receiver.Run(wire);
    EXPECT_EQ(receiver.closed, !c.dropMidContent);  // the stream stayed in step
    EXPECT_EQ(disk.created, c.created);
    EXPECT_EQ(FolderListing(folder.Path()), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(ReadText(folder / "a.jpg"), "old");
  }
}

TEST(ReceivedFiles, RelativeFolderIsRefused) {
  // A folder left from another system ("C:\" on Linux) must not put photos into the working folder.
  TempDir folder;
  const fs::path before = fs::current_path();
  fs::current_path(folder.Path());
  auto files = MakeUploadFileSystem();
  Receiver receiver{*files, "C:\\"};
  receiver.Run(Wire().Int(4).Str("a.jpg").Str("photo").Int(3));
  fs::current_path(before);
  EXPECT_TRUE(receiver.closed);
  EXPECT_TRUE(FolderListing(folder.Path()).empty());
}

}  // namespace
}  // namespace fernpad::upload
