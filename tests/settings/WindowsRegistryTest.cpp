// The Windows registry behind the Run-key autostart, in a throwaway key of the current user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/SystemServices.h"

namespace fernpad::settings {
namespace {

class WindowsRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
  // The stored value: its type, its size in bytes and its bytes; type 0 when it is missing.
  struct Stored {
    DWORD type = 0;
    DWORD size = 0;
    std::string bytes;
  };
  Stored Read(const std::string& name) {
    Stored s;
    char buffer[512];
    s.size = sizeof buffer;
    if (::RegGetValueA(HKEY_CURRENT_USER, key_.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &s.type,
                       buffer, &s.size) != ERROR_SUCCESS)
      return {};
    s.bytes.assign(buffer, s.size);
    return s;
  }
  const std::string key_ = "Software\\FernpadServerTest-" + std::to_string(::GetCurrentProcessId());
};

TEST_F(WindowsRegistryTest, StringValueIsAnSzCountingItsZeroAndDeletesEvenWhenMissing) {
  const auto key = system::CurrentUserRegistry()->CreateCurrentUserKey(key_);
  ASSERT_TRUE(key);
  const std::string path = "C:\\Program Files\\Fernpad Server\\fernpad-server.exe";
  ASSERT_TRUE(key->SetStringValue("FernpadServer", path));
  const Stored stored = Read("FernpadServer");
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.bytes, path + std::string(1, '\0'));

  EXPECT_TRUE(key->DeleteValue("FernpadServer"));
  EXPECT_EQ(Read("FernpadServer").type, 0u);
  EXPECT_TRUE(key->DeleteValue("FernpadServer")) << "a missing value is no error";
}

}  // namespace
}  // namespace fernpad::settings
