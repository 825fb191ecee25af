#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestSupport.h"
#include "settings/OptionsStore.h"

// What the options store's tests share: a sample of every option and a store in a fresh folder.
namespace fernpad::settings::testing {

inline constexpr char kFallback[] = "/home/someone/Pictures/";

class RecordingAutostart : public Autostart {
 public:
  bool SetAutostart(bool enabled) override {
    calls.push_back(enabled);
    return true;
  }
  std::vector<bool> calls;
};

inline Options Sample() {
  Options options;
  options.MouseAcceleration = 42;
  options.SmoothImage = true;
  options.PointerColor = 0x00336699;
  options.AllowedHosts = {"192.168.1.20", "10.0.0.7"};
  options.DeniedHosts = {"172.16.0.9"};
  options.CheckUpdatesOnStartup = true;
  options.StartWithWindows = false;
  options.CursorJumpFix = true;
  options.DisableAccessControl = false;
  options.DefaultFolder = "D:\\Fotos \xE4\xF6\xFC\\";
  options.Devices = {{"id-1", "Phone", "D:\\Phone\\"}, {"id-\xFF", "Tablet \xB5", ""}};
  return options;
}

inline Options Defaults() {
  Options options;
  options.DefaultFolder = kFallback;
  return options;
}

class OptionsStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return dir_ / "option.dat"; }
  OptionsStore MakeStore() { return OptionsStore(File(), autostart_, kFallback); }
  Options LoadFrom(const Bytes& bytes) {
    WriteBytes(File(), bytes);
    return MakeStore().LoadOptions();
  }

  TempDir dir_;
  std::shared_ptr<RecordingAutostart> autostart_ = std::make_shared<RecordingAutostart>();
};

}  // namespace fernpad::settings::testing
