#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "settings/Autostart.h"

namespace fernpad::settings {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

// Reads the Exec value back the way a session manager does: first the string escapes (\\ \n \t \r),
// then the quoting of one argument. Fails the test on anything that is not one argument, quoted or
// made of characters that need no quoting.
std::string ParseSingleQuotedArgument(const std::string& value) {
  if (!value.empty() && value.front() != '"') {
    EXPECT_EQ(value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-"),
              std::string::npos)
        << "unquoted " << value;
    return value;
  }
  std::string unescaped;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      unescaped.push_back(value[i]);
      continue;
    }
    EXPECT_LT(i + 1, value.size());
    const char next = value[++i];
    unescaped.push_back(next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next);
  }
  EXPECT_GE(unescaped.size(), 2u);
  EXPECT_EQ(unescaped.front(), '"');
  EXPECT_EQ(unescaped.back(), '"');
  std::string argument;
  for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
    char c = unescaped[i];
    if (c == '\\') {
      c = unescaped[++i];
      EXPECT_TRUE(c == '"' || c == '`' || c == '$' || c == '\\') << "needless escape of " << c;
    } else {
      EXPECT_TRUE(c != '"' && c != '`' && c != '$') << "unescaped " << c << " in " << value;
    }
    if (c == '%') {
      EXPECT_EQ(unescaped[i + 1], '%') << "lone % in " << value;
      ++i;
    }
    argument.push_back(c);
  }
  return argument;
}

std::string ExecLine(const fs::path& entry) {
  std::ifstream in(entry);
  std::string line;
  std::string exec;
  int execLines = 0;
  while (std::getline(in, line)) {
    if (line.rfind("Exec=", 0) == 0) {
      exec = line.substr(5);
      ++execLines;
    }
  }
  EXPECT_EQ(execLines, 1);
  return exec;
}

TEST(DesktopEntryExecTest, AwkwardPathsComeBackUnchanged) {
  for (const std::string path :
       {"/usr/bin/fernpad-server", "/home/a b/Fernpad Server/fernpad-server", "/opt/$HOME/`x`/\"q\"/it's",
        "/opt/back\\slash/100%/a%%b", "/opt/tab\there/new\nline/cr\rx", "/opt/caf\xC3\xA9/;&|<>*?#()~"}) {
    const std::optional<std::string> exec = DesktopEntryExec(path);
    ASSERT_TRUE(exec.has_value()) << path;
    EXPECT_EQ(exec->find('\n'), std::string::npos);
    EXPECT_EQ(ParseSingleQuotedArgument(*exec), path);
  }
}

TEST(DesktopEntryExecTest, KnownEncodings) {
  EXPECT_EQ(DesktopEntryExec("/a b/c"), "\"/a b/c\"");
  EXPECT_EQ(DesktopEntryExec("/a\\b"), "\"/a\\\\\\\\b\"");  // four backslashes for one
  EXPECT_EQ(DesktopEntryExec("/a$b"), "\"/a\\\\$b\"");
  EXPECT_EQ(DesktopEntryExec("/50%"), "\"/50%%\"");
}

// The entry names the program by its bare name only when PATH leads to this very program.
TEST(AutostartCommandTest, BareNameOnlyWhenPathFindsThisProgram) {
  TempDir dir;
  const auto makeProgram = [&](const fs::path& file, fs::perms perms) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "#!/bin/sh\n";
    fs::permissions(file, perms);
  };
  const fs::perms exec = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
  const fs::path installed = dir / "bin" / "fernpad-server";
  const fs::path spaced = dir / "Fernpad Server" / "fernpad-server";
  makeProgram(installed, exec);
  makeProgram(spaced, exec);
  makeProgram(dir / "other" / "fernpad-server", exec);
  makeProgram(dir / "data" / "fernpad-server", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories(dir / "linked");
  fs::create_symlink(installed, dir / "linked" / "fernpad-server");
  const std::string bin = (dir / "bin").string();
  struct Case {
    fs::path program;
    std::string path;
    std::string exec;
  } cases[] = {
      {installed, "/nonexistent:" + bin, "fernpad-server"},
      {installed, (dir / "linked").string(), "fernpad-server"},
      {installed, (dir / "data").string() + ":" + bin, "fernpad-server"},  // not a program: skipped
      {installed, (dir / "other").string() + ":" + bin, installed.string()},
      {installed, "", installed.string()},
      {spaced, (dir / "Fernpad Server").string(), "fernpad-server"},
      {spaced, bin, "\"" + spaced.string() + "\""},
  };
  for (const Case& c : cases) {
    // A relative entry is skipped even where it would find the program from the current folder.
    const std::string relative = fs::relative(c.program.parent_path(), fs::current_path()).string();
    EXPECT_EQ(DesktopEntryExec(AutostartCommand(c.program, relative + ":" + c.path)), c.exec)
        << c.program << " with PATH " << c.path;
  }
}

TEST(DesktopEntryExecTest, PathsADesktopEntryCannotCarryAreRefused) {
  EXPECT_FALSE(DesktopEntryExec("").has_value());
  EXPECT_FALSE(DesktopEntryExec(std::string("/a\x01") + "b").has_value());
  EXPECT_FALSE(DesktopEntryExec("/a\x7F").has_value());
  EXPECT_FALSE(DesktopEntryText("").has_value());
}

class XdgAutostartTest : public ::testing::Test {
 protected:
  TempDir home_;
  ScopedEnv homeEnv_{"HOME", home_.Path().string()};
  ScopedEnv config_{"XDG_CONFIG_HOME", (home_ / "cfg").string()};
};

TEST_F(XdgAutostartTest, EntryPathFollowsXdgConfigHome) {
  EXPECT_EQ(XdgAutostartEntryPath(), home_ / "cfg" / "autostart" / "fernpad-server.desktop");
  ScopedEnv relative("XDG_CONFIG_HOME", "relative/cfg");  // relative values are ignored
  EXPECT_EQ(XdgAutostartEntryPath(), home_ / ".config" / "autostart" / "fernpad-server.desktop");
  ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(XdgAutostartEntryPath(), home_ / ".config" / "autostart" / "fernpad-server.desktop");
}

TEST_F(XdgAutostartTest, EntryIsWrittenAndRemoved) {
  const std::string program = (home_ / "Fernpad Server $1" / "fernpad-server").string();
  XdgAutostart autostart(program, XdgAutostartEntryPath());
  ASSERT_TRUE(autostart.SetAutostart(true));
  const fs::path entry = home_ / "cfg" / "autostart" / "fernpad-server.desktop";
  ASSERT_TRUE(fs::is_regular_file(entry));
  EXPECT_EQ(ParseSingleQuotedArgument(ExecLine(entry)), program);
  std::ifstream in(entry);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "[Desktop Entry]");

  ASSERT_TRUE(autostart.SetAutostart(true));  // rewriting is fine
  ASSERT_TRUE(autostart.SetAutostart(false));
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(autostart.SetAutostart(false));  // removing a missing entry is no error
  EXPECT_EQ(testing::FolderListing(entry.parent_path()), std::vector<std::string>{});
}

TEST_F(XdgAutostartTest, UnwritableEntryReportsFalse) {
  fs::create_directories(home_ / "cfg");
  std::ofstream(home_ / "cfg" / "autostart") << "a file where the folder should be";
  XdgAutostart autostart("/usr/bin/fernpad-server", XdgAutostartEntryPath());
  EXPECT_FALSE(autostart.SetAutostart(true));
  XdgAutostart nowhere("/usr/bin/fernpad-server", fs::path());
  EXPECT_FALSE(nowhere.SetAutostart(true));
}

// A registry that records what the Run-key logic asks of it.
struct FakeRegistry : Registry {
  struct Key : RegistryKey {
    explicit Key(FakeRegistry& registry) : owner(registry) {}
    ~Key() override { ++owner.closed; }
    bool SetStringValue(const std::string& name, const std::string& value) override {
      owner.log.push_back("set " + name + "=" + value);
      return true;
    }
    bool DeleteValue(const std::string& name) override {
      owner.log.push_back("delete " + name);
      return true;
    }
    FakeRegistry& owner;
  };
  std::unique_ptr<RegistryKey> CreateCurrentUserKey(const std::string& subKey) override {
    log.push_back("open " + subKey);
    if (failOpen) return nullptr;
    return std::make_unique<Key>(*this);
  }
  bool failOpen = false;
  int closed = 0;
  std::vector<std::string> log;
};

TEST(RunKeyAutostartTest, SetsTheUnquotedPathAndDeletesTheValue) {
  auto registry = std::make_shared<FakeRegistry>();
  RunKeyAutostart autostart(registry, "C:\\Program Files\\Fernpad Server\\FernpadServer.exe");
  EXPECT_TRUE(autostart.SetAutostart(true));
  EXPECT_TRUE(autostart.SetAutostart(false));
  EXPECT_EQ(registry->log,
            (std::vector<std::string>{
                "open Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                "set FernpadServer=C:\\Program Files\\Fernpad Server\\FernpadServer.exe",
                "open Software\\Microsoft\\Windows\\CurrentVersion\\Run", "delete FernpadServer"}));
  EXPECT_EQ(registry->closed, 2);
}

TEST(RunKeyAutostartTest, StopsQuietlyWhenTheKeyCannotBeOpened) {
  auto registry = std::make_shared<FakeRegistry>();
  registry->failOpen = true;
  RunKeyAutostart autostart(registry, "C:\\x.exe");
  EXPECT_FALSE(autostart.SetAutostart(true));
  EXPECT_EQ(registry->log.size(), 1u);
  EXPECT_EQ(registry->closed, 0);
}

}  // namespace
}  // namespace fernpad::settings
