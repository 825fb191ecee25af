#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace fernpad::app {
namespace {

TEST(CommandLine, DefaultsAndEveryOption) {
  const CommandLine none = ParseCommandLine({});
  EXPECT_FALSE(none.headless);
  EXPECT_FALSE(none.verbose);
  EXPECT_EQ(none.httpPort, 12769);
  EXPECT_EQ(none.uploadPort, 12772);
  EXPECT_TRUE(none.configDir.empty());
  EXPECT_FALSE(none.checkUpdate);
  EXPECT_TRUE(none.updateUrl.empty());
  EXPECT_FALSE(none.webRemote);
  EXPECT_EQ(none.webPort, 12773);
  const CommandLine all =
      ParseCommandLine({"--web-remote", "--web-port", "0", "--headless", "--verbose", "--config-dir",
                        "/tmp/a b", "--http-port", "0", "--upload-port", "7", "--version", "-h",
                        "--check-update", "--update-url", "https://updates.example/fernpad/"});
  EXPECT_TRUE(all.headless);
  EXPECT_TRUE(all.webRemote);
  EXPECT_EQ(all.webPort, 0);
  EXPECT_TRUE(all.verbose);
  EXPECT_TRUE(all.version);
  EXPECT_TRUE(all.help);
  EXPECT_EQ(all.configDir, "/tmp/a b");
  EXPECT_EQ(all.httpPort, 0);
  EXPECT_EQ(all.uploadPort, 7);
  EXPECT_EQ(all.udpAnswerPort, 12771);
  EXPECT_TRUE(all.checkUpdate);
  EXPECT_EQ(all.updateUrl, "https://updates.example/fernpad/");
  EXPECT_EQ(ParseCommandLine({"--backend", "wlroots"}).backend, "wlroots");
  for (const char* option :
       {"--check-update", "--update-url URL", "--web-remote", "--web-port PORT", "--backend NAME"})
    EXPECT_NE(UsageText().find(option), std::string::npos) << option;
}

TEST(CommandLine, BadInputIsAnErrorWithAMessage) {
  EXPECT_THROW(ParseCommandLine({"--nope"}), std::invalid_argument);
  EXPECT_THROW(ParseCommandLine({"--config-dir"}), std::invalid_argument);
  EXPECT_THROW(ParseCommandLine({"--config-dir", ""}), std::invalid_argument);
  for (const char* bad : {"", "updates.example", "ftp://updates.example/", "file:///tmp/"})
    EXPECT_THROW(ParseCommandLine({"--update-url", bad}), std::invalid_argument) << bad;
  EXPECT_THROW(ParseCommandLine({"--update-url"}), std::invalid_argument);
  for (const char* bad : {"", "X11", "wayland"})
    EXPECT_THROW(ParseCommandLine({"--backend", bad}), std::invalid_argument) << bad;
  for (const char* bad : {"65536", "-1", "12a", "", "0x10"})
    for (const char* option : {"--http-port", "--web-port"})
      EXPECT_THROW(ParseCommandLine({option, bad}), std::invalid_argument) << option << ' ' << bad;
  try {
    ParseCommandLine({"--http-port", "99999"});
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("99999"), std::string::npos);
  }
}

}  // namespace
}  // namespace fernpad::app
