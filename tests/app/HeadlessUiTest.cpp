#include "app/HeadlessUi.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

namespace fernpad::app {
namespace {

// The new-device question on a terminal (a pipe said to be one) and without one.
TEST(HeadlessUi, ANewDeviceGetsTheFolderTypedOrTheDefault) {
  struct Case {
    const char* name;
    bool terminal;
    const char* typed;  // nullptr: the input ends without an answer
    std::optional<std::string> folder;
  };
  const Case cases[] = {
      {"no terminal", false, "", "/pictures/"},
      {"empty answer", true, "\n", "/pictures/"},
      {"a folder typed", true, "/srv/photos\n", "/srv/photos"},
      {"input ends", true, nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    if (c.typed != nullptr) {
      ASSERT_EQ(write(pipeFds[1], c.typed, strlen(c.typed)), ssize_t(strlen(c.typed)));
    }
    close(pipeFds[1]);
    std::FILE* out = std::tmpfile();
    HeadlessUi ui(out, pipeFds[0], c.terminal);
    EXPECT_EQ(ui.AskDeviceFolder("Phone \xE9", "/pictures/"), c.folder);
    std::fclose(out);
    close(pipeFds[0]);
  }
}

}  // namespace
}  // namespace fernpad::app
