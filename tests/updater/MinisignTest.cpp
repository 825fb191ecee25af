#include "updater/Minisign.h"

#include <gtest/gtest.h>

#include <random>

#include "../settings/TestSupport.h"
#include "UpdaterFixtures.h"

namespace fernpad::updater::minisign {
namespace {
using settings::testing::TempDir;
using testing::KeyPair;

// Signatures made by the minisign tool over a file larger than 64 KiB.
class MinisignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    payload_ = dir_ / "Update.deb";
    std::string bytes(200 * 1024, '\0');
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<char>(random());
    testing::WriteText(payload_, bytes);
    key_ = testing::MakeKeyPair(dir_.Path(), "release");
    other_ = testing::MakeKeyPair(dir_.Path(), "other");
  }

  TempDir dir_;
  std::filesystem::path payload_;
  KeyPair key_, other_;
};

TEST_F(MinisignTest, VerdictPerSignature) {
  const std::string good = testing::Sign(payload_, key_, "FernpadServer 1.2.3.4");
  std::string edited = good;  // the trusted comment changed after signing
  edited.replace(edited.find("1.2.3.4"), 7, "1.2.3.5");
  std::string garbled = good;
  garbled[garbled.find('\n') + 10] = '*';
  std::string altered = good;  // a bit of the signature itself
  const auto lastOfSignature = altered.find('\n', altered.find('\n') + 1) - 3;
  altered[lastOfSignature] = altered[lastOfSignature] == 'A' ? 'B' : 'A';
  const std::string lines = good.substr(0, good.rfind('\n', good.size() - 2) + 1);  // without the last line

  const std::filesystem::path swapped = dir_ / "swapped.deb";
  testing::WriteText(swapped, testing::ReadText(payload_) + "x");

  struct Case {
    const char* name;
    std::string signature;
    std::filesystem::path file;
    const char* version;
    Verdict verdict;
  } cases[] = {
      {"good", good, payload_, "1.2.3.4", Verdict::Good},
      {"another program in the comment too",
       testing::Sign(payload_, key_, "Tool 9 FernpadServer 1.2.3.4 final"), payload_, "1.2.3.4",
       Verdict::Good},
      {"another file", good, swapped, "1.2.3.4", Verdict::BadSignature},
      {"unknown key", testing::Sign(payload_, other_, "FernpadServer 1.2.3.4"), payload_, "1.2.3.4",
       Verdict::UnknownKey},
      {"older release replayed", testing::Sign(payload_, key_, "FernpadServer 1.2.3.3"), payload_, "1.2.3.4",
       Verdict::WrongRelease},
      {"version as a prefix", testing::Sign(payload_, key_, "FernpadServer 1.2.3.40"), payload_, "1.2.3.4",
       Verdict::WrongRelease},
      {"the tool's own comment", testing::Sign(payload_, key_, "timestamp:1 file:Update.deb hashed"),
       payload_, "1.2.3.4", Verdict::WrongRelease},
      {"comment edited", edited, payload_, "1.2.3.5", Verdict::BadGlobalSignature},
      {"legacy kind", testing::Sign(payload_, key_, "FernpadServer 1.2.3.4", true), payload_, "1.2.3.4",
       Verdict::Legacy},
      {"signature altered", altered, payload_, "1.2.3.4", Verdict::BadSignature},
      {"garbled signature", garbled, payload_, "1.2.3.4", Verdict::Malformed},
      {"truncated", lines, payload_, "1.2.3.4", Verdict::Malformed},
      {"extra line", good + "more\n", payload_, "1.2.3.4", Verdict::Malformed},
      {"empty", "", payload_, "1.2.3.4", Verdict::Malformed},
      {"not a signature", "<html>404</html>\n", payload_, "1.2.3.4", Verdict::Malformed},
  };
  // Any trusted key will do; a key that is not well formed is none.
  const std::vector<PublicKey> trusted = {
      *ParsePublicKey("RWQBAgMEBQYHCAkKCwwNDg8QERITFBUWFxgZGhscHR4fICEiIyQlJico"),
      *ParsePublicKey(key_.publicLine)};
  for (const std::string& bad :
       {std::string(), key_.publicLine.substr(1), key_.publicLine + "A", std::string(56, '*')})
    EXPECT_FALSE(ParsePublicKey(bad)) << bad;
  for (const auto& c : cases) {
    const auto hash = HashFile(c.file);
    ASSERT_TRUE(hash) << c.name;
    EXPECT_EQ(Verify(*hash, c.signature, trusted, "FernpadServer", c.version), c.verdict) << c.name;
  }
}

TEST(MinisignRelease, TheCommentNamesProgramAndVersionAsWholeWords) {
  struct Case {
    const char* comment;
    bool names;
  } cases[] = {
      {"FernpadServer 1.2.3.4", true},
      {"FernpadServer\t1.2.3.4\tstable", true},
      {"release FernpadServer  1.2.3.4", true},
      {"FernpadServer 1.2.3.40", false},
      {"FernpadServer 01.2.3.4", false},
      {"XFernpadServer 1.2.3.4", false},
      {"FernpadServer-1.2.3.4", false},
      {"1.2.3.4 FernpadServer", false},
      {"FernpadServer", false},
      {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NamesRelease(c.comment, "FernpadServer", "1.2.3.4"), c.names) << c.comment;
}

}  // namespace
}  // namespace fernpad::updater::minisign
