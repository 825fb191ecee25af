#include "web/WebMessages.h"

#include <gtest/gtest.h>

namespace fernpad::web {
namespace {

using Requests = std::vector<std::vector<std::string>>;

TEST(WebMessages, BecomeTheHandheldsRequests) {
  const struct {
    std::string message;
    Requests requests;
  } cases[] = {
      {"m 12.5 -3", {{"x:12.5", "y:-3", "a=m"}}},
      {"d", {{"x:0", "y:0", "a=d"}}},
      {"u", {{"x:0", "y:0", "a=u"}}},
      {"dabs 0.5 0.25", {{"x:0.5", "y:0.25", "a=dabs"}}},
      {"mabs 1 0", {{"x:1", "y:0", "a=mabs"}}},
      {"uabs", {{"x:0", "y:0", "a=uabs"}}},
      {"mbr", {{"x:0", "y:0", "a=mbr"}}},
      {"mbmu", {{"x:0", "y:0", "a=mbmu"}}},
      {"scrollm -2", {{"x:0", "y:-2", "a=scrollm"}}},
      {"vkd 13", {{"x:0", "y:0", "a=vkd", "v= \x0d"}}},
      {"vku 17,65",
       {{"x:0", "y:0", "a=vku",
         "v= \x11"
         "A"}}},
      {"k Hello world", {{"x:0", "y:0", "a=k", "v= Hello world"}}},
      {"k 5 \u20AC", {{"x:0", "y:0", "a=k", "v= 5 \x80"}}},
      {"k  AC", {{"x:0", "y:0", "a=k", "v=  "}, {"x:0", "y:0", "a=k", "v= AC"}}},  // not the euro sign
      {"k  22", {{"x:0", "y:0", "a=k", "v=  "}, {"x:0", "y:0", "a=k", "v= 22"}}},
      {"ss", {{"x:0", "y:0", "a=ss"}}},
      {"ssPad", {{"x:0", "y:0", "a=ssPad"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(MapWebMessage(c.message), c.requests) << c.message;
}

TEST(WebMessages, AnythingElseMakesNoRequest) {
  const std::string ignored[] = {
      "p",  // keeps the socket open
      "",
      "m",
      "m 1",
      "m 1 2 3",
      "m 1  2",
      "m 1 2 ",
      "m 1e3 2",
      "m 0x10 2",
      "m 1.2.3 4",
      "m .5 1",
      "m 5. 1",
      "m 123456789012 1",
      "m nan 1",
      "m -inf 1",
      "m +1 2",
      "scrollm",
      "scrollm 1 2",
      "mbl 1",  // bare commands take nothing
      "M 1 2",
      "a=m 1 2",
      "winoff",
      "chat hi",  // not the page's, or not a command at all
      "a 0 0",
      "vkd",
      "vkd 0",
      "vkd 256",
      "vkd 1,",
      "vkd ,1",
      "vkd 1;2",
      "vkd 0013",
      "k",           // nothing to type: a bare "v=" would be a Backspace
      "k ",          // likewise
      "k \t\u4E2D",  // nothing the code page has
      "k " + std::string(kMaxMessage, 'a'),
  };
  for (const auto& m : ignored) EXPECT_EQ(MapWebMessage(m), Requests{}) << m;
}

}  // namespace
}  // namespace fernpad::web
