#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "OptionsStoreFixture.h"
#include "TestSupport.h"
#include "settings/LiveSettings.h"
#include "settings/OptionsStore.h"

namespace fernpad::settings {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Defaults;
using testing::EncodeNodes;
using testing::FolderListing;
using testing::kFallback;
using testing::Le32;
using testing::Node;
using testing::OptionsStoreTest;
using testing::ReadBytes;
using testing::Sample;
using testing::Text;
using testing::WriteBytes;

Bytes Boolean(bool value) {
  return Bytes{static_cast<std::uint8_t>(value ? 1 : 0)};
}

// The file a save must produce, assembled entry by entry from the table of keys.
Bytes ExpectedFile(const Options& o) {
  Node allowed{1002, {}, {{0, Le32(static_cast<std::int32_t>(o.AllowedHosts.size())), {}}}};
  for (std::size_t i = 0; i < o.AllowedHosts.size(); ++i) {
    allowed.children.push_back({static_cast<std::int32_t>(i + 1), Text(o.AllowedHosts[i]), {}});
  }
  Node denied{1003, {}, {{0, Le32(static_cast<std::int32_t>(o.DeniedHosts.size())), {}}}};
  for (std::size_t i = 0; i < o.DeniedHosts.size(); ++i) {
    denied.children.push_back({static_cast<std::int32_t>(i + 1), Text(o.DeniedHosts[i]), {}});
  }
  Node devices{1009, {}, {{0, Le32(static_cast<std::int32_t>(o.Devices.size())), {}}}};
  for (std::size_t k = 0; k < o.Devices.size(); ++k) {
    devices.children.push_back({static_cast<std::int32_t>(k + 1),
                                {},
                                {{0, Text(o.Devices[k].Identifier), {}},
                                 {1, Text(o.Devices[k].Name), {}},
                                 {2, Text(o.Devices[k].Folder), {}}}});
  }
  return EncodeNodes({
      {1000, {}, {{1, Le32(o.MouseAcceleration), {}}}},
      {1001, {}, {{1, Boolean(o.SmoothImage), {}}, {2, Le32(static_cast<std::int32_t>(o.PointerColor)), {}}}},
      allowed,
      denied,
      {1004, {}, {{0, Boolean(o.CheckUpdatesOnStartup), {}}}},
      {1005, {}, {{0, Boolean(o.StartWithWindows), {}}}},
      {1006, {}, {{0, Boolean(o.CursorJumpFix), {}}}},
      {1007, {}, {{0, Boolean(o.DisableAccessControl), {}}}},
      {1008, {}, {{0, Text(o.DefaultFolder), {}}}},
      devices,
  });
}

// --- Saving -----------------------------------------------------------------------------------------

TEST_F(OptionsStoreTest, SaveWritesEveryOptionInFileOrderByteForByte) {
  const Options options = Sample();
  MakeStore().SaveOptions(options);
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(options));
}

TEST_F(OptionsStoreTest, SaveOfDefaultsWithEmptyListsMatchesTheKeyTable) {
  MakeStore().SaveOptions(Defaults());
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(Defaults()));
}

TEST_F(OptionsStoreTest, SaveReplacesAnOlderFileCompletelyWhateverAnEarlierSaveLeftBeside) {
  // What a save that crashed could leave, under a name a save might pick again.
  std::filesystem::create_directory(dir_.Path() / "option.dat.tmp");
  Options many = Sample();
  many.AllowedHosts = {"a", "b", "c", "d"};
  OptionsStore store = MakeStore();
  store.SaveOptions(many);
  Options fewer = Sample();
  fewer.AllowedHosts = {"z"};
  fewer.Devices.clear();
  store.SaveOptions(fewer);
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(fewer));
  EXPECT_EQ(FolderListing(dir_.Path()), (std::vector<std::string>{"option.dat", "option.dat.tmp"}));
}

TEST_F(OptionsStoreTest, EverySaveBringsAutostartInLineAndLoadingNeverTouchesIt) {
  OptionsStore store = MakeStore();
  Options options = Sample();
  options.StartWithWindows = true;
  store.SaveOptions(options);
  options.StartWithWindows = false;
  store.SaveOptions(options);
  store.SaveOptions(options);
  EXPECT_EQ(autostart_->calls, (std::vector<bool>{true, false, false}));
  store.LoadOptions();
  EXPECT_EQ(autostart_->calls.size(), 3u);
}

TEST_F(OptionsStoreTest, SavedOptionsLoadBackEqual) {
  MakeStore().SaveOptions(Sample());
  EXPECT_EQ(MakeStore().LoadOptions(), Sample());
}

// --- Loading ----------------------------------------------------------------------------------------

TEST_F(OptionsStoreTest, MissingFileIsCreatedEmptyAndGivesTheDefaults) {
  OptionsStore store = MakeStore();
  const Options loaded = store.LoadOptions();
  EXPECT_EQ(loaded, Defaults());
  EXPECT_EQ(loaded.MouseAcceleration, 1);
  EXPECT_EQ(loaded.PointerColor, 0xFFFFFFu);
  ASSERT_TRUE(fs::exists(File()));
  EXPECT_EQ(fs::file_size(File()), 0u);
  EXPECT_FALSE(store.RecoveredDamagedFile());
}

TEST_F(OptionsStoreTest, AccelerationOutsideOneToHundredIsClampedAndTheRestLoads) {
  struct Case {
    std::int32_t stored;
    int loaded;
  };
  for (const Case c : {Case{-5, 1}, Case{1, 1}, Case{100, 100}, Case{101, 100}, Case{0x7FFFFFFF, 100},
                       Case{static_cast<std::int32_t>(0x80000000), 1}}) {
    const Options loaded = LoadFrom(EncodeNodes(
        {{1000, {}, {{1, Le32(c.stored), {}}}}, {1001, {}, {{1, {1}, {}}, {2, Le32(0x00123456), {}}}}}));
    EXPECT_EQ(loaded.MouseAcceleration, c.loaded) << "stored " << c.stored;
    EXPECT_TRUE(loaded.SmoothImage) << "stored " << c.stored;
    EXPECT_EQ(loaded.PointerColor, 0x00123456u) << "stored " << c.stored;
  }
}

TEST_F(OptionsStoreTest, ZeroOrAbsentAccelerationIgnoresSmoothingAndColour) {
  const Node smoothAndColour{1001, {}, {{1, {1}, {}}, {2, Le32(0x00123456), {}}}};
  for (const Bytes& bytes :
       {EncodeNodes({{1000, {}, {{1, Le32(0), {}}}}, smoothAndColour}), EncodeNodes({smoothAndColour}),
        EncodeNodes({{1000, {}, {{1, {7}, {}}}}, smoothAndColour})}) {
    const Options loaded = LoadFrom(bytes);
    EXPECT_EQ(loaded.MouseAcceleration, 1);
    EXPECT_FALSE(loaded.SmoothImage);
    EXPECT_EQ(loaded.PointerColor, 0xFFFFFFu);
  }
}

TEST_F(OptionsStoreTest, CountsLargerThanTheStoredItemsGiveEmptyItems) {
  const Options loaded = LoadFrom(EncodeNodes({
      {1002, {}, {{0, Le32(3), {}}, {1, Text("first"), {}}, {3, Text("third"), {}}}},
      {1003, {}, {{0, Le32(2), {}}}},
      {1009, {}, {{0, Le32(2), {}}, {1, {}, {{0, Text("id"), {}}, {2, Text("/p/"), {}}}}}},
  }));
  EXPECT_EQ(loaded.AllowedHosts, (std::vector<std::string>{"first", "", "third"}));
  EXPECT_EQ(loaded.DeniedHosts, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(loaded.Devices, (std::vector<TSnapferryDevice>{{"id", "", "/p/"}, {"", "", ""}}));
}

TEST_F(OptionsStoreTest, CountsBelowTheStoredItemsLoadOnlyThatManyAndNegativeCountsNone) {
  const Options loaded = LoadFrom(EncodeNodes({
      {1002, {}, {{0, Le32(1), {}}, {1, Text("a"), {}}, {2, Text("b"), {}}}},
      {1003, {}, {{0, Le32(-4), {}}, {1, Text("x"), {}}}},
  }));
  EXPECT_EQ(loaded.AllowedHosts, std::vector<std::string>{"a"});
  EXPECT_TRUE(loaded.DeniedHosts.empty());
}

TEST_F(OptionsStoreTest, AbsurdCountsAreCutInsteadOfExhaustingMemory) {
  const Options loaded = LoadFrom(EncodeNodes({
      {1002, {}, {{0, Le32(0x7FFFFFFF), {}}}},
      {1009, {}, {{0, Le32(0x7FFFFFFF), {}}}},
  }));
  EXPECT_EQ(loaded.AllowedHosts.size(), static_cast<std::size_t>(kMaxStoredListItems));
  EXPECT_EQ(loaded.Devices.size(), static_cast<std::size_t>(kMaxStoredListItems));
}

TEST_F(OptionsStoreTest, EmptyUploadFolderFallsBackAndShortFoldersOnlyChangeTheFolderBox) {
  EXPECT_EQ(LoadFrom(EncodeNodes({{1008, {}, {{0, {}, {}}}}})).DefaultFolder, kFallback);
  const Options shortFolder = LoadFrom(EncodeNodes({{1008, {}, {{0, Text("D:"), {}}}}}));
  EXPECT_EQ(shortFolder.DefaultFolder, "D:");
  EXPECT_EQ(FolderBoxText(shortFolder.DefaultFolder, kFallback), kFallback);
  EXPECT_EQ(FolderBoxText("E:\\", kFallback), "E:\\");
}

TEST_F(OptionsStoreTest, BooleansAreLoadedFromTheirOwnKeys) {
  const char* names[] = {"CheckUpdatesOnStartup", "StartWithWindows", "CursorJumpFix",
                         "DisableAccessControl"};
  for (int which = 0; which < 4; ++which) {
    const Options loaded = LoadFrom(EncodeNodes({{1004 + which, {}, {{0, {1}, {}}}}}));
    const bool flags[] = {loaded.CheckUpdatesOnStartup, loaded.StartWithWindows, loaded.CursorJumpFix,
                          loaded.DisableAccessControl};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(flags[i], i == which) << names[i] << " with key " << 1004 + which;
  }
}

// --- Damaged and unreadable files -------------------------------------------------------------------

TEST_F(OptionsStoreTest, DamagedFileIsKeptAsideDefaultsLoadAndTheNextSaveWritesAGoodFile) {
  const Bytes damaged = {0xE8, 0x03, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00};
  WriteBytes(File(), damaged);
  OptionsStore store = MakeStore();
  EXPECT_EQ(store.LoadOptions(), Defaults());
  EXPECT_TRUE(store.RecoveredDamagedFile());
  EXPECT_EQ(store.DamagedFile(), dir_ / "option.dat.damaged");
  EXPECT_EQ(ReadBytes(store.DamagedFile()), damaged);
  EXPECT_FALSE(store.OptionsLoading());

  store.SaveOptions(Sample());
  OptionsStore again = MakeStore();
  EXPECT_EQ(again.LoadOptions(), Sample());
  EXPECT_FALSE(again.RecoveredDamagedFile());
}

TEST_F(OptionsStoreTest, UnreadableFileIsKeptAsideToo) {
  fs::create_directory(File());  // cannot be read as a file
  OptionsStore store = MakeStore();
  EXPECT_EQ(store.LoadOptions(), Defaults());
  EXPECT_TRUE(store.RecoveredDamagedFile());
  EXPECT_TRUE(fs::is_directory(store.DamagedFile()));
}

TEST_F(OptionsStoreTest, FileInAMissingFolderLoadsDefaultsAndReportsNoDamage) {
  OptionsStore store(dir_ / "absent" / "option.dat", autostart_, kFallback);
  EXPECT_EQ(store.LoadOptions(), Defaults());
  EXPECT_FALSE(store.RecoveredDamagedFile());
  EXPECT_THROW(store.SaveOptions(Sample()), OrnivoIoError);
}

// --- Loading suppresses saves; the live settings hook -----------------------------------------------

TEST_F(OptionsStoreTest, NoSaveWhileOptionsAreLoading) {
  OptionsStore store = MakeStore();
  {
    OptionsStore::LoadingScope loading(store);
    EXPECT_TRUE(store.OptionsLoading());
    store.SaveOptions(Sample());
  }
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_TRUE(autostart_->calls.empty());
  EXPECT_FALSE(store.OptionsLoading());
  store.SaveOptions(Sample());
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(Sample()));
}

TEST_F(OptionsStoreTest, EveryLiveChangeRewritesTheWholeFile) {
  OptionsStore store = MakeStore();
  LiveSettings live(store.LoadOptions());
  std::vector<bool> jumpFixes;
  ConnectSaveHook(live, store, [&](const Options& saved) { jumpFixes.push_back(saved.CursorJumpFix); });

  live.Change([](Options& o) { o.MouseAcceleration = 17; });
  Options expected = Defaults();
  expected.MouseAcceleration = 17;
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(expected));

  live.Change([](Options& o) {
    o.CursorJumpFix = true;
    o.DeniedHosts.push_back("10.0.0.1");
  });
  expected.CursorJumpFix = true;
  expected.DeniedHosts = {"10.0.0.1"};
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(expected));

  {
    OptionsStore::LoadingScope loading(store);
    live.Change([](Options& o) { o.MouseAcceleration = 99; });
  }
  EXPECT_EQ(ReadBytes(File()), ExpectedFile(expected));  // the change during loading was not written
  EXPECT_EQ(jumpFixes, (std::vector<bool>{false, true}));
  EXPECT_EQ(live.MouseAcceleration(), 99);
}

TEST_F(OptionsStoreTest, HookSurvivesAFailedSave) {
  OptionsStore store(dir_ / "absent" / "option.dat", autostart_, kFallback);
  LiveSettings live;
  int saves = 0;
  ConnectSaveHook(live, store, [&](const Options&) { ++saves; });
  EXPECT_NO_THROW(live.Change([](Options& o) { o.StartWithWindows = true; }));
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(autostart_->calls, std::vector<bool>{true});
}

}  // namespace
}  // namespace fernpad::settings
