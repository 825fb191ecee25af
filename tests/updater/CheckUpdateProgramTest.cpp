// `fernpad-server --check-update` of the built program against update_server.py, without an X display.
#include <gtest/gtest.h>

#include "../settings/TestSupport.h"
#include "UpdaterFixtures.h"

namespace fernpad::updater {
namespace {
namespace fs = std::filesystem;
using settings::testing::TempDir;
using testing::WriteText;

TEST(CheckUpdateProgram, PrintsTheAnswerAndExitsWithItsCode) {
  TempDir dir;
  testing::UpdateServer server(dir / "site", dir / "requests.log", {dir / "tls", ""});
  const std::string https = "https://127.0.0.1:" + std::to_string(server.Port()) + "/";
  const std::string ca = "FERNPAD_UPDATE_CA_FILE='" + (dir / "tls" / "ca.crt").string() + "'";
  struct Case {
    const char* answer;  // nullptr: no updates.php
    std::string url;
    std::string caVariable;
    int exitCode;
    std::string out;
    const char* errPart;
  } cases[] = {
      {"0.1.0.1\r\n", https, ca, 10, "update available: 0.1.0.1\n", ""},
      {"0.1.0.0", https, ca, 0, "up to date\n", ""},
      {"0.0.9.9", https, ca, 0, "up to date\n", ""},
      {nullptr, https, ca, 1, "", "fernpad-server: the update check failed: "},
      {"0.1.0.1", https, "", 1, "", "fernpad-server: the update check failed: "},  // the system CAs
      {"0.1.0.1", "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/", ca, 1, "",
       "fernpad-server: the update check failed: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.answer ? c.answer : "(none)") + " " + c.url + " " + c.caVariable);
    fs::remove(dir / "site" / "updates.php");
    if (c.answer) WriteText(dir / "site" / "updates.php", c.answer);
    const TempDir home;
    const auto result = testing::RunProgram(
        {FERNPAD_SERVER_BINARY, "--check-update", "--update-url", c.url},
        "-u DISPLAY -u FERNPAD_UPDATE_CA_FILE XDG_DATA_HOME='" + home.Path().string() + "' " + c.caVariable);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err.rfind(c.errPart, 0), 0u) << result.err;
    EXPECT_TRUE(fs::is_regular_file(home / "Ornivo/FernpadServer/option.dat"));
  }
}

}  // namespace
}  // namespace fernpad::updater
