#include "net/QueryParams.h"

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

}  // namespace
}  // namespace fernpad::net
