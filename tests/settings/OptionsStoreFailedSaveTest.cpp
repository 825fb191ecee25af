// Saves that fail part way, provoked by POSIX means: a child process that drops root's rights or has a
// file size limit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "OptionsStoreFixture.h"
#include "TestSupport.h"
#include "settings/OrnivoFile.h"

namespace fernpad::settings {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Defaults;
using testing::FolderListing;
using testing::OptionsStoreTest;
using testing::ReadBytes;
using testing::RunInChild;
using testing::Sample;

// Root ignores file permissions; a child that tests them takes an ordinary user's rights first.
bool DropRootRights() {
  return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
}

// --- Failed saves keep the previous file ------------------------------------------------------------

TEST_F(OptionsStoreTest, SaveThatCannotCreateItsFileLeavesThePreviousFileAndStillSetsAutostart) {
  OptionsStore store = MakeStore();
  store.SaveOptions(Sample());
  const Bytes before = ReadBytes(File());
  // Everyone may write the file, nobody may create a file beside it.
  fs::permissions(File(),
                  fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
  fs::permissions(dir_.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const int status = RunInChild([&] {
    if (!DropRootRights()) return 3;
    Options changed = Sample();
    changed.StartWithWindows = true;
    try {
      store.SaveOptions(changed);
    } catch (const OrnivoIoError&) {
      return autostart_->calls == std::vector<bool>{false, true} ? 0 : 2;
    }
    return 1;
  });
  fs::permissions(dir_.Path(), fs::perms::owner_all);
  EXPECT_EQ(status, 0) << "1: save succeeded, 2: autostart not set, 3: cannot drop privileges";
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(FolderListing(dir_.Path()), std::vector<std::string>{"option.dat"});
}

TEST_F(OptionsStoreTest, SaveThatFailsWhileWritingLeavesThePreviousFile) {
  OptionsStore store = MakeStore();
  store.SaveOptions(Defaults());
  const Bytes before = ReadBytes(File());
  Options large = Sample();
  for (int i = 0; i < 200; ++i) large.AllowedHosts.push_back("10.1.2." + std::to_string(i));
  const int status = RunInChild([&] {
    // Files may grow to 64 bytes only: the write of the new file fails part way.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    try {
      store.SaveOptions(large);
    } catch (const OrnivoIoError& e) {
      return e.Code() == EFBIG ? 0 : 2;
    }
    return 1;
  });
  EXPECT_EQ(status, 0) << "1: save succeeded, 2: unexpected error, 3: no file size limit";
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(FolderListing(dir_.Path()), std::vector<std::string>{"option.dat"});
}

TEST_F(OptionsStoreTest, WriteProtectedFileIsNotReplaced) {
  OptionsStore store = MakeStore();
  store.SaveOptions(Defaults());
  const Bytes before = ReadBytes(File());
  fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir_.Path(), fs::perms::all);
  const int status = RunInChild([&] {
    if (!DropRootRights()) return 3;
    try {
      store.SaveOptions(Sample());
    } catch (const OrnivoIoError&) {
      return 0;
    }
    return 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(File()), before);
}

}  // namespace
}  // namespace fernpad::settings
