#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "TestSupport.h"
#include "settings/OrnivoSourceBase.h"
#include "settings/SettingsPaths.h"

namespace fernpad::settings {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

class FoldersTest : public ::testing::Test {
 protected:
  std::string Home() const { return home_.Path().string(); }

  TempDir home_;
  ScopedEnv homeEnv_{"HOME", home_.Path().string()};
  ScopedEnv data_{"XDG_DATA_HOME", std::nullopt};
  ScopedEnv config_{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnv pictures_{"XDG_PICTURES_DIR", std::nullopt};
};

// --- Data folder ------------------------------------------------------------------------------------

TEST_F(FoldersTest, AppDataFolderIsXdgDataHomeWithATrailingSeparator) {
  EXPECT_EQ(GetSpecialFolderPath(kCsidlAppData), Home() + "/.local/share");
  EXPECT_EQ(GetAppDataFolder(), Home() + "/.local/share/");
  ScopedEnv data("XDG_DATA_HOME", Home() + "/data/");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlAppData), Home() + "/data");
  EXPECT_EQ(DataFolder(), Home() + "/data/Ornivo/FernpadServer/");
  EXPECT_EQ(DataFolderOptionsFile(), Home() + "/data/Ornivo/FernpadServer/option.dat");
  EXPECT_EQ(GetSpecialFolderPath(12345), "");
}

TEST_F(FoldersTest, WithoutAHomeThereIsNoDataFolder) {
  ScopedEnv noHome("HOME", std::nullopt);
  ScopedEnv relative("XDG_DATA_HOME", "not/absolute");
  EXPECT_EQ(GetAppDataFolder(), "");
  EXPECT_EQ(DataFolder(), "");
  EXPECT_EQ(DataFolderOptionsFile(), "");
  EXPECT_FALSE(InitDataFolderFile("/usr/bin/fernpad-server").has_value());
}

TEST_F(FoldersTest, ResolverReplacesTheBuiltInLookup) {
  SetSpecialFolderResolver([](int csidl) { return csidl == kCsidlAppData ? std::string("/roaming/") : ""; });
  EXPECT_EQ(GetSpecialFolderPath(kCsidlAppData), "/roaming");
  EXPECT_EQ(GetAppDataFolder(), "/roaming/");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlMyPictures), "");
  SetSpecialFolderResolver(nullptr);
  EXPECT_EQ(GetAppDataFolder(), Home() + "/.local/share/");
}

TEST_F(FoldersTest, CreateDirectoryChainCreatesEveryMissingLevel) {
  const std::string chain = Home() + "/one/two/three/";
  EXPECT_TRUE(CreateDirectoryChain(chain));
  EXPECT_TRUE(fs::is_directory(chain));
  EXPECT_TRUE(CreateDirectoryChain(chain));                      // existing levels are fine
  EXPECT_FALSE(CreateDirectoryChain(Home() + "/one/left-out"));  // only levels followed by a separator
  EXPECT_FALSE(fs::exists(Home() + "/one/left-out"));
  std::ofstream(Home() + "/file") << "x";
  EXPECT_FALSE(CreateDirectoryChain(Home() + "/file/below/"));
}

TEST_F(FoldersTest, InitDataFolderFileRecordsTheProgramAndReadsTheUpdaterKeys) {
  ScopedEnv data("XDG_DATA_HOME", Home() + "/data");
  // First run: folder and file are created; every updater key is absent.
  const auto first = InitDataFolderFile("/opt/Fernpad Server/fernpad-server");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, UpdaterSettings{});

  TOrnivoFile file;
  ASSERT_EQ(file.Open(DataFolderOptionsFile(), false, false), TOrnivoFile::kOk);
  EXPECT_EQ(file.ReadString({1, 1, 0, 2}), "/opt/Fernpad Server/fernpad-server");
  file.WriteBoolean({2, 1, 1}, true);
  file.WriteBoolean({2, 1, 2}, true);
  file.WriteString({2, 1, 3}, "proxy.example");
  file.WriteString({2, 1, 4}, "user");
  file.WriteString({2, 1, 5}, "p\xE4ss");
  file.WriteInteger({2, 1, 6}, 3128);
  file.Save();

  const auto second = InitDataFolderFile("/usr/bin/fernpad-server");
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(*second, (UpdaterSettings{true, true, "proxy.example", "user", "p\xE4ss", 3128}));
  TOrnivoFile after;
  ASSERT_EQ(after.Open(DataFolderOptionsFile(), false, false), TOrnivoFile::kOk);
  EXPECT_EQ(after.ReadString(kProgramPathKey), "/usr/bin/fernpad-server");
  EXPECT_EQ(after.ReadInteger(kProxyPortKey), 3128);
}

// --- Options file location --------------------------------------------------------------------------

TEST_F(FoldersTest, OptionsFileGoesToTheOverrideThenAWritableProgramFolderThenTheConfigFolder) {
  const fs::path program = home_.Path() / "program";
  fs::create_directory(program);
  EXPECT_EQ(OptionsFilePath(program, home_.Path() / "override" / "dir"),
            home_.Path() / "override" / "dir" / "option.dat");
  EXPECT_TRUE(fs::is_directory(home_.Path() / "override" / "dir"));

  EXPECT_EQ(OptionsFilePath(program), program / "option.dat");
  EXPECT_TRUE(testing::FolderListing(program).empty());  // the write probe leaves nothing behind

  const fs::path unusable = home_.Path() / "no-such-folder";
  EXPECT_EQ(OptionsFilePath(unusable), home_.Path() / ".config" / "fernpad-server" / "option.dat");
  EXPECT_TRUE(fs::is_directory(home_.Path() / ".config" / "fernpad-server"));
  ScopedEnv config("XDG_CONFIG_HOME", Home() + "/cfg");
  EXPECT_EQ(OptionsFilePath(unusable), home_.Path() / "cfg" / "fernpad-server" / "option.dat");
}

TEST_F(FoldersTest, WritableFolderIsTriedNotGuessed) {
  EXPECT_TRUE(IsWritableFolder(home_.Path()));
  EXPECT_FALSE(IsWritableFolder(home_.Path() / "missing"));
  std::ofstream(home_.Path() / "plain") << "x";
  EXPECT_FALSE(IsWritableFolder(home_.Path() / "plain"));
}

TEST_F(FoldersTest, RunningProgramIsThisTestBinary) {
  const fs::path program = RunningProgramPath();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(program.is_absolute());
  EXPECT_TRUE(fs::is_regular_file(program));
  EXPECT_EQ(program.filename(), "fernpad_settings_tests");
}

// --- Default upload folder --------------------------------------------------------------------------

TEST_F(FoldersTest, DefaultUploadFolderIsTheXdgPicturesFolder) {
  fs::create_directories(home_.Path() / ".config");
  std::ofstream(home_.Path() / ".config" / "user-dirs.dirs")
      << "# written by "
         "xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
  EXPECT_EQ(DefaultUploadFolder(), Home() + "/Bilder/");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlMyPictures), Home() + "/Bilder");

  std::ofstream(home_.Path() / ".config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"/srv/photos\"\n";
  EXPECT_EQ(DefaultUploadFolder(), "/srv/photos/");
}

TEST_F(FoldersTest, DefaultUploadFolderFallsBackToPicturesThenHome) {
  EXPECT_EQ(DefaultUploadFolder(), Home() + "/");
  fs::create_directory(home_.Path() / "Pictures");
  EXPECT_EQ(DefaultUploadFolder(), Home() + "/Pictures/");
  {
    ScopedEnv fromEnvironment("XDG_PICTURES_DIR", Home() + "/env-pictures");
    EXPECT_EQ(DefaultUploadFolder(), Home() + "/env-pictures/");
  }
  ScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(DefaultUploadFolder(), "/");
}

}  // namespace
}  // namespace fernpad::settings
