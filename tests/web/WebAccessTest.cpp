#include "web/WebAccess.h"

#include <gtest/gtest.h>

#include <set>

namespace fernpad::web {
namespace {

TEST(WebAccess, TokensAreNewAndWellFormedEachTime) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string token = MakeToken();
    EXPECT_TRUE(IsToken(token)) << token;
    seen.insert(token);
  }
  EXPECT_EQ(seen.size(), 50u);
  for (const std::string bad : {"", "0123456789abcdef0123456789abcde", "0123456789abcdef0123456789abcdef0",
                                "0123456789ABCDEF0123456789abcdef", "0123456789abcdef0123456789abcdeg"})
    EXPECT_FALSE(IsToken(bad)) << bad;
}

TEST(WebAccess, OnlyThePagesOwnHandshakeWithTheTokenGoesOn) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  const std::string target = "/ws?t=" + token;
  const std::vector<std::string> names = {"desk", "desk.local"};
  const struct {
    const char* what;
    std::string target;
    const char* host;    // nullptr: no header
    const char* origin;  // nullptr: no header
    const char* fetchSite;
    int status;
  } cases[] = {
      {"own page", target, "192.168.1.5:12773", "http://192.168.1.5:12773", "same-origin", 0},
      {"by name", target, "DESK.local:12773", "http://desk.local:12773", nullptr, 0},
      {"localhost", target, "localhost:8", "http://localhost:8", nullptr, 0},
      {"wrong token", "/ws?t=0123456789abcdef0123456789abcdee", "10.0.0.2:12773", "http://10.0.0.2:12773",
       nullptr, 403},
      {"no token", "/ws", "10.0.0.2:12773", "http://10.0.0.2:12773", nullptr, 403},
      {"token and more", target + "&x=1", "10.0.0.2:12773", "http://10.0.0.2:12773", nullptr, 403},
      {"other path", "/x?t=" + token, "10.0.0.2:12773", "http://10.0.0.2:12773", nullptr, 403},
      {"foreign origin", target, "10.0.0.2:12773", "http://evil.example", nullptr, 403},
      {"other port", target, "10.0.0.2:12773", "http://10.0.0.2:8080", nullptr, 403},
      {"https origin", target, "10.0.0.2:12773", "https://10.0.0.2:12773", nullptr, 403},
      {"null origin", target, "10.0.0.2:12773", "null", nullptr, 403},
      {"no origin", target, "10.0.0.2:12773", nullptr, nullptr, 403},
      {"cross-site", target, "10.0.0.2:12773", "http://10.0.0.2:12773", "cross-site", 403},
      {"no host", target, nullptr, "http://10.0.0.2:12773", nullptr, 403},
      {"rebound name", target, "evil.example:12773", "http://evil.example:12773", nullptr, 421},
  };
  for (const auto& c : cases) {
    Handshake h;
    h.target = c.target;
    h.hasHost = c.host != nullptr;
    h.host = c.host ? c.host : "";
    h.hasOrigin = c.origin != nullptr;
    h.origin = c.origin ? c.origin : "";
    h.hasFetchSite = c.fetchSite != nullptr;
    h.fetchSite = c.fetchSite ? c.fetchSite : "";
    EXPECT_EQ(ScreenHandshake(h, token, names), c.status) << c.what;
  }
  Handshake own{target, true, "10.0.0.2:1", true, "http://10.0.0.2:1", false, {}};
  EXPECT_EQ(ScreenHandshake(own, "", names), 403) << "a server without a token lets nobody in";
}

}  // namespace
}  // namespace fernpad::web
