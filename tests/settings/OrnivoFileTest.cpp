#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "settings/OrnivoFile.h"

namespace fernpad::settings {
namespace {

using testing::Bytes;
using testing::EncodeNodes;
using testing::Le32;
using testing::Node;
using testing::ReadBytes;
using testing::TempDir;
using testing::Text;
using testing::WriteBytes;

const Bytes kExample = {0xEC, 0x03, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Header of an entry with explicit (possibly lying) Size and Len fields.
Bytes Header(std::int32_t key, std::int32_t size, std::int32_t len) {
  return Concat({Le32(key), Le32(size), Le32(len)});
}

class OrnivoFileTest : public ::testing::Test {
 protected:
  std::string FileWith(const Bytes& bytes) {
    WriteBytes(dir_ / "record.dat", bytes);
    return (dir_ / "record.dat").string();
  }
  std::string NewFile() const { return (dir_ / "new.dat").string(); }

  TempDir dir_;
};

// --- The on-disk format -----------------------------------------------------------------------------

TEST_F(OrnivoFileTest, ExampleFileDecodesToOneEntryWithOneBooleanChild) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(FileWith(kExample), false, false), TOrnivoFile::kOk);
  ASSERT_EQ(file.Entries().size(), 1u);
  const TSizeEntry& top = file.Entries()[0];
  EXPECT_EQ(top.Key, 1004);
  EXPECT_TRUE(top.Value.empty());
  ASSERT_EQ(top.Children.size(), 1u);
  EXPECT_EQ(top.Children[0].Key, 0);
  EXPECT_EQ(top.Children[0].Value, Bytes{1});
  EXPECT_TRUE(top.Children[0].Children.empty());
  EXPECT_TRUE(file.ReadBoolean({1004, 0}));
}

TEST_F(OrnivoFileTest, ExampleTreeEncodesToTheSameBytes) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  ASSERT_EQ(file.WriteBoolean({1004, 0}, true), TOrnivoFile::kOk);
  ASSERT_EQ(file.Save(), TOrnivoFile::kOk);
  EXPECT_EQ(ReadBytes(NewFile()), kExample);
}

TEST_F(OrnivoFileTest, DecodedFileSavesBackUnchanged) {
  // Values on inner entries, several levels, empty values and duplicate keys all survive a load and save.
  const Bytes original = EncodeNodes({
      {7, Text("inner"), {{1, Le32(-2), {}}, {1, Text("shadowed"), {}}, {2, {}, {{3, {0x80, 0xFF}, {}}}}}},
      {-1, {}, {}},
      {7, Text("second seven"), {}},
  });
  const std::string name = FileWith(original);
  TOrnivoFile file;
  ASSERT_EQ(file.Open(name, false, false), TOrnivoFile::kOk);
  EXPECT_EQ(file.ReadString({7}), "inner");
  EXPECT_EQ(file.ReadInteger({7, 1}), -2);  // the first of two siblings with the same key wins
  EXPECT_EQ(file.ReadString({7, 2, 3}), "\x80\xFF");
  ASSERT_EQ(file.Save(), TOrnivoFile::kOk);
  EXPECT_EQ(ReadBytes(name), original);
}

TEST_F(OrnivoFileTest, TypedWritersUseLittleEndianFourBytesOneByteAndRawStrings) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  file.WriteInteger({1}, 0x12345678);
  file.WriteColor({2}, -1);
  file.WriteBoolean({3}, false);
  file.WriteString({4}, "ab");
  file.WriteString({5}, "");
  file.Save();
  const Bytes expected = EncodeNodes({{1, {0x78, 0x56, 0x34, 0x12}, {}},
                                      {2, {0xFF, 0xFF, 0xFF, 0xFF}, {}},
                                      {3, {0x00}, {}},
                                      {4, Text("ab"), {}},
                                      {5, {}, {}}});
  EXPECT_EQ(ReadBytes(NewFile()), expected);
}

// --- Tree order and replacement ---------------------------------------------------------------------

TEST_F(OrnivoFileTest, EntriesKeepTheOrderInWhichTheyWereFirstWritten) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  file.WriteInteger({1000, 1}, 5);
  file.WriteBoolean({1001, 1}, true);
  file.WriteColor({1001, 2}, 0x00FF00);
  file.WriteInteger({1000, 1}, 9);  // replaced in place, not moved to the end
  file.Save();
  const Bytes expected =
      EncodeNodes({{1000, {}, {{1, Le32(9), {}}}}, {1001, {}, {{1, {1}, {}}, {2, Le32(0x00FF00), {}}}}});
  EXPECT_EQ(ReadBytes(NewFile()), expected);
  EXPECT_EQ(file.ReadInteger({1000, 1}), 9);
}

TEST_F(OrnivoFileTest, ReplacingAValueKeepsItsPlaceAndItsChildren) {
  std::vector<TSizeEntry> list;
  const std::vector<std::int32_t> a{5}, b{6}, aChild{5, 1};
  ASSERT_TRUE(TOrnivoFile::SetValue(a, Text("old"), list));
  ASSERT_TRUE(TOrnivoFile::SetValue(b, Text("b"), list));
  ASSERT_TRUE(TOrnivoFile::SetValue(aChild, Text("child"), list));
  ASSERT_TRUE(TOrnivoFile::SetValue(a, Text("new"), list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Key, 5);
  EXPECT_EQ(list[0].Value, Text("new"));
  EXPECT_EQ(TOrnivoFile::FindValue(aChild, list), Text("child"));
  EXPECT_EQ(list[1].Key, 6);
  EXPECT_FALSE(TOrnivoFile::SetValue({}, Text("x"), list));
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(OrnivoFileTest, FindValueFollowsOnlyTheFirstMatchingSibling) {
  const std::vector<TSizeEntry> list{{1, {}, {}}, {1, {{2, {}, Text("hidden")}}, {}}, {3, {}, Text("v")}};
  const std::vector<std::int32_t> hidden{1, 2}, leaf{3}, beyondLeaf{3, 0}, absent{4};
  EXPECT_TRUE(TOrnivoFile::FindValue(hidden, list).empty());
  EXPECT_EQ(TOrnivoFile::FindValue(leaf, list), Text("v"));
  EXPECT_TRUE(TOrnivoFile::FindValue(beyondLeaf, list).empty());
  EXPECT_TRUE(TOrnivoFile::FindValue(absent, list).empty());
}

// --- Typed readers ----------------------------------------------------------------------------------

TEST_F(OrnivoFileTest, ValuesOfTheWrongLengthReadAsZeroAndFalse) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  file.WriteInteger({1}, 1);
  file.WriteBoolean({2}, true);
  file.WriteString({3}, "abc");
  file.WriteString({4}, "abcd");
  EXPECT_FALSE(file.ReadBoolean({1}));  // 4 bytes
  EXPECT_EQ(file.ReadInteger({2}), 0);  // 1 byte
  EXPECT_EQ(file.ReadInteger({3}), 0);  // 3 bytes
  EXPECT_EQ(file.ReadInteger({4}), 0x64636261);
  EXPECT_EQ(file.ReadInteger({99}), 0);
  EXPECT_FALSE(file.ReadBoolean({99}));
  EXPECT_EQ(file.ReadString({99}), "");
  EXPECT_EQ(file.ReadString({1, 2, 3}), "");
}

TEST_F(OrnivoFileTest, StringsWithBytesAbove127AndEmptyStringsRoundTrip) {
  std::string every;
  for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
  {
    TOrnivoFile file;
    ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
    file.WriteString({1, 1}, every);
    file.WriteString({1, 2}, "");
    file.WriteString({1, 3}, std::string("a\0b", 3));
    file.Save();
  }
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), false, false), TOrnivoFile::kOk);
  EXPECT_EQ(file.ReadString({1, 1}), every);
  EXPECT_EQ(file.ReadString({1, 2}), "");
  EXPECT_EQ(file.ReadString({1, 3}), std::string("a\0b", 3));
  const TSizeEntry& empty = file.Entries()[0].Children[1];
  EXPECT_EQ(empty.Key, 2);
  EXPECT_TRUE(empty.Value.empty());
}

// --- Open, Close and result codes -------------------------------------------------------------------

TEST_F(OrnivoFileTest, MissingFileWithoutCreateGivesSevenAndStaysClosed) {
  TOrnivoFile file;
  EXPECT_EQ(file.Open(NewFile(), false, false), TOrnivoFile::kFileMissing);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.FileName(), NewFile());
  EXPECT_FALSE(std::filesystem::exists(NewFile()));
  EXPECT_EQ(file.WriteInteger({1}, 1), TOrnivoFile::kNotOpen);
  EXPECT_EQ(file.WriteBoolean({1}, true), TOrnivoFile::kNotOpen);
  EXPECT_EQ(file.WriteString({1}, "x"), TOrnivoFile::kNotOpen);
  EXPECT_EQ(file.WriteColor({1}, 1), TOrnivoFile::kNotOpen);
  EXPECT_TRUE(file.Entries().empty());
  EXPECT_THROW(file.Save(), OrnivoIoError);
  EXPECT_FALSE(std::filesystem::exists(NewFile()));
}

TEST_F(OrnivoFileTest, CreateIfMissingCreatesAnEmptyFileAndAnEmptyFileOpensEmpty) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  EXPECT_TRUE(file.IsOpen());
  EXPECT_TRUE(ReadBytes(NewFile()).empty());
  TOrnivoFile again;
  ASSERT_EQ(again.Open(NewFile(), false, false), TOrnivoFile::kOk);
  EXPECT_TRUE(again.Entries().empty());
  EXPECT_EQ(again.ReadInteger({1000, 1}), 0);
  EXPECT_EQ(again.Close(), TOrnivoFile::kOk);
  EXPECT_FALSE(again.IsOpen());
  EXPECT_EQ(again.WriteInteger({1}, 1), TOrnivoFile::kNotOpen);
}

TEST_F(OrnivoFileTest, TruncatingOpenStartsEmptyAndSaveWritesOnlyWhatFollowed) {
  const std::string name = FileWith(kExample);
  TOrnivoFile file;
  ASSERT_EQ(file.Open(name, false, true), TOrnivoFile::kOk);
  EXPECT_TRUE(file.Entries().empty());
  EXPECT_FALSE(file.ReadBoolean({1004, 0}));
  EXPECT_EQ(ReadBytes(name), kExample);  // the old contents stay until the new ones are complete
  file.WriteInteger({1000, 1}, 3);
  file.Save();
  EXPECT_EQ(ReadBytes(name), EncodeNodes({{1000, {}, {{1, Le32(3), {}}}}}));
}

TEST_F(OrnivoFileTest, SaveKeepsTheFileOpenAndCanRepeat) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  file.WriteInteger({1}, 1);
  file.Save();
  EXPECT_TRUE(file.IsOpen());
  file.WriteInteger({2}, 2);
  file.Save();
  EXPECT_EQ(ReadBytes(NewFile()), EncodeNodes({{1, Le32(1), {}}, {2, Le32(2), {}}}));
  EXPECT_TRUE(testing::FolderListing(dir_.Path()) == std::vector<std::string>{"new.dat"});
}

TEST_F(OrnivoFileTest, KeyPathsMustHaveAtLeastOneAndAtMostTheDecodableNumberOfKeys) {
  TOrnivoFile file;
  ASSERT_EQ(file.Open(NewFile(), true, false), TOrnivoFile::kOk);
  EXPECT_THROW(file.WriteInteger({}, 1), std::invalid_argument);
  EXPECT_EQ(file.WriteInteger(KeyPath(record_format::kMaxDepth, 1), 7), TOrnivoFile::kOk);
  EXPECT_THROW(file.WriteInteger(KeyPath(record_format::kMaxDepth + 1, 1), 1), std::invalid_argument);
  file.Save();
  TOrnivoFile again;
  ASSERT_EQ(again.Open(NewFile(), false, false), TOrnivoFile::kOk);
  EXPECT_EQ(again.ReadInteger(KeyPath(record_format::kMaxDepth, 1)), 7);
}

TEST_F(OrnivoFileTest, SaveThroughASymbolicLinkReplacesTheLinkedFile) {
  const std::string target = FileWith(kExample);
  const auto link = dir_ / "link.dat";
  std::error_code ec;
  std::filesystem::create_symlink(target, link, ec);
  if (ec) GTEST_SKIP() << "this system makes no symbolic links: " << ec.message();
  TOrnivoFile file;
  ASSERT_EQ(file.Open(link.string(), false, true), TOrnivoFile::kOk);
  file.WriteInteger({1}, 1);
  file.Save();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), EncodeNodes({{1, Le32(1), {}}}));
}

// --- Damaged files ----------------------------------------------------------------------------------

struct DamagedCase {
  const char* name;
  Bytes bytes;
};

void PrintTo(const DamagedCase& damaged, std::ostream* out) {
  *out << damaged.name;
}

class DamagedFileTest : public OrnivoFileTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, OpenThrowsAFormatErrorAndLeavesTheFileClosed) {
  TOrnivoFile file;
  EXPECT_THROW(file.Open(FileWith(GetParam().bytes), false, false), OrnivoFormatError);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.WriteInteger({1}, 1), TOrnivoFile::kNotOpen);
}

Bytes DeepNesting(std::size_t levels) {
  Node node{1, {}, {}};
  for (std::size_t i = 1; i < levels; ++i) node = Node{1, {}, {node}};
  return EncodeNodes({node});
}

INSTANTIATE_TEST_SUITE_P(
    Corrupt, DamagedFileTest,
    ::testing::Values(
        DamagedCase{"HeaderCutShort", Bytes(kExample.begin(), kExample.begin() + 7)},
        DamagedCase{"SizePromisesMoreThanRemains", Concat({Header(1, 100, 0), Bytes(20, 0)})},
        DamagedCase{"NegativeLength", Concat({Header(1, 4, -1)})},
        DamagedCase{"HugeLength", Concat({Header(1, 0x7FFFFFFF, 0x7FFFFFFB), Bytes(8, 0)})},
        DamagedCase{"NegativeSize", Concat({Header(1, -8, 0), Bytes(8, 0)})},
        DamagedCase{"SizeSmallerThanValue", Concat({Header(1, 4, 2), Text("ab")})},
        DamagedCase{"SizeBelowFour", Concat({Header(1, 0, 0)})},
        DamagedCase{"ChildLargerThanParent", Concat({Header(1, 4 + 12, 0), Header(2, 5, 0), Bytes(1, 0)})},
        DamagedCase{"ChildrenLeaveAGap", Concat({Header(1, 4 + 12 + 5, 0), Header(2, 4, 0), Bytes(5, 0)})},
        DamagedCase{"GapShorterThanAHeader", Concat({Header(1, 4 + 3, 0), Bytes(3, 0)})},
        DamagedCase{"TrailingBytesAfterLastEntry", Concat({kExample, Bytes(5, 0)})},
        DamagedCase{"NestedTooDeeply", DeepNesting(record_format::kMaxDepth + 1)}),
    [](const ::testing::TestParamInfo<DamagedCase>& param) { return std::string(param.param.name); });

TEST_F(OrnivoFileTest, EveryCutOfAValidFileInsideAnEntryIsAnError) {
  const Bytes whole = EncodeNodes({{1000, {}, {{1, Le32(3), {}}}}, {1008, {}, {{0, Text("C:\\"), {}}}}});
  const std::size_t boundary = 12 + 12 + 4;  // end of the first top-level entry
  for (std::size_t length = 1; length < whole.size(); ++length) {
    TOrnivoFile file;
    const std::string name =
        FileWith(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    if (length == boundary) {
      EXPECT_EQ(file.Open(name, false, false), TOrnivoFile::kOk);
      EXPECT_EQ(file.Entries().size(), 1u);
    } else {
      EXPECT_THROW(file.Open(name, false, false), OrnivoFormatError) << "cut after " << length << " bytes";
    }
  }
}

TEST_F(OrnivoFileTest, DeepestDecodableNestingIsAccepted) {
  TOrnivoFile file;
  EXPECT_EQ(file.Open(FileWith(DeepNesting(record_format::kMaxDepth)), false, false), TOrnivoFile::kOk);
}

TEST_F(OrnivoFileTest, AFolderInPlaceOfTheFileIsAnInputOutputError) {
  std::filesystem::create_directory(NewFile());
  TOrnivoFile file;
  try {
    file.Open(NewFile(), true, false);
    FAIL() << "opening a folder succeeded";
  } catch (const OrnivoFormatError&) {
    FAIL() << "a folder was reported as a damaged file";
  } catch (const OrnivoIoError& e) {
    EXPECT_NE(e.Code(), 0);
  }
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(OrnivoFileTest, FailedLoadKeepsTheEntriesReadBeforeTheFault) {
  TOrnivoFile file;
  EXPECT_THROW(file.Open(FileWith(Concat({kExample, Header(5, 40, 0)})), false, false), OrnivoFormatError);
  ASSERT_EQ(file.Entries().size(), 1u);
  EXPECT_EQ(file.Entries()[0].Key, 1004);
}

}  // namespace
}  // namespace fernpad::settings
