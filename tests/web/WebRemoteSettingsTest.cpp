#include "settings/WebRemoteSettings.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace fernpad::settings {
namespace {

using testing::TempDir;

TEST(WebRemoteSettings, ReadsWhatItUnderstandsAndDefaultsTheRest) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  const struct {
    std::string file;  // "-": no file
    bool enabled;
    bool keepAddress;
    std::string token;
  } cases[] = {
      {"-", false, false, ""},
      {"", false, false, ""},
      {"enabled=1\nkeep-address=1\ntoken=" + token + "\n", true, true, token},
      {"enabled=1\r\nkeep-address=1\r\ntoken=" + token + "\r\n", true, true, token},
      {"enabled=1\ntoken=" + token + "\n", true, false, ""},  // a token nobody asked to keep
      {"enabled=yes\nkeep-address=2\n", false, false, ""},
      {"colour=red\n\x01\x02\nenabled=1", true, false, ""},
      {std::string(5000, 'x'), false, false, ""},  // not a file of ours
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (c.file != "-") testing::WriteBytes(dir / "b", testing::Bytes(c.file.begin(), c.file.end()));
    const WebRemoteSettings s = LoadWebRemoteSettings(dir / "b");
    EXPECT_EQ(s.enabled, c.enabled) << c.file;
    EXPECT_EQ(s.keepAddress, c.keepAddress) << c.file;
    EXPECT_EQ(s.token, c.token) << c.file;
  }
}

TEST(WebRemoteSettings, WhatIsSavedIsReadBack) {
  TempDir dir;
  const std::filesystem::path options = dir / "option.dat";
  const auto path = WebRemoteSettingsPath(options);
  EXPECT_EQ(path.parent_path(), options.parent_path());
  for (const WebRemoteSettings& saved : {WebRemoteSettings{true, true, std::string(32, 'c')},
                                         WebRemoteSettings{true, false, ""}, WebRemoteSettings{}}) {
    SaveWebRemoteSettings(path, saved);
    const WebRemoteSettings read = LoadWebRemoteSettings(path);
    EXPECT_EQ(read.enabled, saved.enabled);
    EXPECT_EQ(read.keepAddress, saved.keepAddress);
    EXPECT_EQ(read.token, saved.token);
  }
  EXPECT_FALSE(std::filesystem::exists(options)) << "option.dat is not touched";
}

}  // namespace
}  // namespace fernpad::settings
