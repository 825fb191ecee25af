#include "net/QueryParams.h"

#include "core/Log.h"

#include <gtest/gtest.h>

namespace fernpad::net {
namespace {

using Params = std::vector<std::string>;

TEST(QueryParams, SplitsAtAmpersandInOrder) {
  EXPECT_EQ(DecodeQueryParams("/?x:12.5&y:-3&a=m"), (Params{"x:12.5", "y:-3", "a=m"}));
  EXPECT_EQ(DecodeQueryParams("/anything/at/all?x:0&y:0&a=k&v=%20A"), (Params{"x:0", "y:0", "a=k", "v= A"}));
  EXPECT_EQ(DecodeQueryParams("/"), Params{});
  EXPECT_EQ(DecodeQueryParams("/?"), Params{});
  EXPECT_EQ(DecodeQueryParams("/?a&&b&"), (Params{"a", "", "b"}));
}

TEST(QueryParams, PlusBecomesSpaceBeforePercentDecoding) {
  EXPECT_EQ(DecodeQueryParams("/?v=a+b%2Bc"), Params{"v=a b+c"});
  EXPECT_EQ(DecodeQueryParams("/?v=%26%3d%3D"), Params{"v=&=="});  // an encoded '&' does not split
}

TEST(QueryParams, KeepsBytesAndMalformedEscapes) {
  EXPECT_EQ(DecodeQueryParams("/?v=%80%a3%00x"), Params{std::string("v=\x80\xa3\0x", 6)});
  EXPECT_EQ(DecodeQueryParams("/?v=%zz%4"), Params{"v=%zz%4"});
  EXPECT_EQ(DecodeQueryParams("/?v=%"), Params{"v=%"});
  EXPECT_EQ(DecodeQueryParams("/?a=m#frag"), Params{"a=m"});
}

TEST(LogLines, PeerTextCannotForgeLinesOrSteerTheTerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"http 10.0.0.1: a=m", "http 10.0.0.1: a=m"},
      {"a=k\nhttp 10.0.0.9: forged", "a=k\\x0Ahttp 10.0.0.9: forged"},
      {"\x1B[2J\r\x7F\x9B", "\\x1B[2J\\x0D\\x7F\\x9B"},
      {"caf\xC3\xA9", "caf\\xC3\\xA9"},
  };
  for (const auto& [line, safe] : cases) EXPECT_EQ(log::SafeLine(line), safe);
  const std::string cut = log::SafeLine(std::string(log::kMaxLine + 5, 'x'));
  EXPECT_EQ(cut, std::string(log::kMaxLine, 'x') + "... (5 more bytes)");
}

}  // namespace
}  // namespace fernpad::net
